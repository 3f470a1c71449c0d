// The warnings a city's document carries, and how the board words them.
#include "feed/feedwarning.h"

#include "platform/feeddate.h"
#include "platform/fieldvalue.h"

#include <QCoreApplication>
#include <QDomElement>
#include <QDomNodeList>

#include <algorithm>
#include <cmath>

namespace {

struct KindWords
{
    const char *kind;
    const char *text;
};
constexpr KindWords kinds[] = {
    {"dust", QT_TRANSLATE_NOOP("FeedWarning", "عاصفة ترابية")},
    {"heat", QT_TRANSLATE_NOOP("FeedWarning", "موجة حر شديدة")},
    {"rain", QT_TRANSLATE_NOOP("FeedWarning", "أمطار غزيرة وسيول محتملة")},
    {"thunder", QT_TRANSLATE_NOOP("FeedWarning", "عواصف رعدية")},
    {"wind", QT_TRANSLATE_NOOP("FeedWarning", "رياح شديدة")},
};

QString kindWord(const char *source)
{
    return QCoreApplication::translate("FeedWarning", source);
}

// The day as seen from `today` within a sentence: "اليوم", "غداً", "أمس",
// else its weekday (in English "today", not the coming days' "Today").
QString dayPlain(const QDate &day, const QDate &today)
{
    switch (today.daysTo(day)) {
    case 0:
        return QCoreApplication::translate("FeedWarning", "اليوم");
    case 1:
        return QCoreApplication::translate("FeedWarning", "غداً");
    case -1:
        return QCoreApplication::translate("FeedWarning", "أمس");
    default:
        return weekdayName(day);
    }
}

// The day as seen from `today`: "اليوم", "غداً", else "يوم الخميس".
QString dayWord(const QDate &day, const QDate &today)
{
    if (std::abs(today.daysTo(day)) <= 1)
        return dayPlain(day, today);
    return QCoreApplication::translate("FeedWarning", "يوم %1").arg(weekdayName(day));
}

// Whole days from `first` to `last`: "اليوم", "اليوم وغداً", "من اليوم حتى الخميس".
QString wholeDays(const QDate &first, const QDate &last, const QDate &today)
{
    if (first == last)
        return dayWord(first, today);
    if (first.daysTo(last) == 1)
        return QCoreApplication::translate("FeedWarning", "%1 و%2").arg(dayWord(first, today), dayWord(last, today));
    return QCoreApplication::translate("FeedWarning", "من %1 حتى %2")
        .arg(dayPlain(first, today), dayPlain(last, today));
}

// Whether a time falls at midnight on the cities' clock.
bool atMidnight(const QDateTime &t)
{
    return cityTime(t).time() == QTime(0, 0);
}

// "من الساعة 3 مساءً", the hour a span begins at on the cities' clock.
QString fromHour(const QDateTime &start)
{
    return QCoreApplication::translate("FeedWarning", "من الساعة %1").arg(hourName(cityTime(start).time()));
}

// Each kind's scale of strength: its threshold and the step to the next
// band. Dust by a thousand µg/m³ (1,000 is a visibility of about a
// kilometre, 2,000 about half); heat by 2 °C from 48; rain by 20 mm, each
// another fifth of a year's rain in a day; wind by 15 km/h from 60, near
// the Beaufort scale's steps (62, 75, 89, 103); thunderstorms by their WMO
// code, 95 without hail and 96 to 99 with it.
struct Scale
{
    const char *kind;
    double threshold;
    double step;
    int bands; // the number of bands above the first; 0: no end
};
constexpr Scale scales[] = {
    {"dust", 1000, 1000, 0}, {"heat", 48, 2, 0}, {"rain", 20, 20, 0}, {"wind", 60, 15, 0}, {"thunder", 95, 1, 1},
};

} // namespace

QString warningTimeText(const QDateTime &time)
{
    return time.toString(Qt::ISODate);
}

QDateTime warningTimeFromText(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODate);
}

QList<FeedWarning> readWarnings(const QDomElement &channel)
{
    QList<FeedWarning> warnings;
    const QDomNodeList elements = channel.elementsByTagName(QStringLiteral("rorizedivo:warning"));
    for (int i = 0; i < elements.size(); ++i) {
        const QDomElement e = elements.item(i).toElement();
        FeedWarning w;
        w.kind = e.attribute(QStringLiteral("kind"));
        w.start = warningTimeFromText(e.attribute(QStringLiteral("start")));
        w.end = warningTimeFromText(e.attribute(QStringLiteral("end")));
        const std::optional<double> peak = parseNumber(e.attribute(QStringLiteral("peak")));
        w.peak = peak && std::isfinite(*peak) ? *peak : 0;
        if (!warningKindText(w.kind).isEmpty() && w.start.isValid() && w.end.isValid() && w.start < w.end)
            warnings.append(w);
    }
    return warnings;
}

QList<FeedWarning> mergedRuns(QList<FeedWarning> warnings)
{
    std::stable_sort(warnings.begin(), warnings.end(),
                     [](const FeedWarning &a, const FeedWarning &b) { return a.start < b.start; });
    QList<FeedWarning> runs;
    for (const FeedWarning &w : warnings) {
        const auto run = std::find_if(runs.begin(), runs.end(),
                                      [&w](const FeedWarning &r) { return r.kind == w.kind && w.start <= r.end; });
        if (run == runs.end()) {
            runs.append(w);
            continue;
        }
        run->end = std::max(run->end, w.end);
        run->peak = std::max(run->peak, w.peak);
    }
    return runs;
}

QString warningKindText(const QString &kind)
{
    for (const KindWords &k : kinds) {
        if (kind == QLatin1String(k.kind))
            return kindWord(k.text);
    }
    return QString();
}

QString warningPeakText(const FeedWarning &w)
{
    if (!(w.peak > 0) || w.peak > 1e6)
        return QString();
    const QString peak = QString::number(std::lround(w.peak));
    if (w.kind == QLatin1String("heat"))
        return QCoreApplication::translate("FeedWarning", "العظمى %1°").arg(peak);
    if (w.kind == QLatin1String("rain"))
        return QCoreApplication::translate("FeedWarning", "%1 مم").arg(peak);
    if (w.kind == QLatin1String("wind"))
        return QCoreApplication::translate("FeedWarning", "هبات حتى %1 كم/س").arg(peak);
    if (w.kind == QLatin1String("dust"))
        return QCoreApplication::translate("FeedWarning", "الغبار %1 ميكروغرام/م³").arg(peak);
    return QString();
}

QString warningTimeWords(const FeedWarning &w, const QDateTime &now)
{
    const QDate today = cityDate(now);
    const QDateTime start = cityTime(w.start);
    const QDateTime end = cityTime(w.end);
    const QDate first = start.date();
    // The last day it covers: an end at midnight closes the day before.
    const QDate last = atMidnight(end) ? end.date().addDays(-1) : end.date();
    if (atMidnight(start) && atMidnight(end))
        return wholeDays(first, last, today);
    if (first != last)
        return QCoreApplication::translate("FeedWarning", "%1 %2 إلى %3 الساعة %4")
            .arg(dayWord(first, today), fromHour(start), dayWord(end.date(), today), hourName(end.time()));
    return QCoreApplication::translate("FeedWarning", "%1 %2 إلى %3")
        .arg(dayWord(first, today), fromHour(start), hourName(end.time()));
}

QString warningShortTimeWords(const FeedWarning &w, const QDateTime &now)
{
    if (w.start > now)
        return warningTimeWords(w, now);
    const QDate today = cityDate(now);
    const QDateTime end = cityTime(w.end);
    if (atMidnight(end)) {
        const QDate last = end.date().addDays(-1);
        if (atMidnight(w.start))
            return wholeDays(today, last, today);
        return QCoreApplication::translate("FeedWarning", "%1 حتى منتصف الليل").arg(dayWord(last, today));
    }
    return QCoreApplication::translate("FeedWarning", "%1 حتى %2")
        .arg(dayWord(end.date(), today), hourName(end.time()));
}

QString warningTitle(const QString &kind)
{
    return QCoreApplication::translate("FeedWarning", "تنبيه: %1").arg(warningKindText(kind));
}

QString warningLine(const FeedWarning &w, const QDateTime &now)
{
    return warningTitle(w.kind) + QLatin1Char(' ') + warningShortTimeWords(w, now);
}

int warningBand(const FeedWarning &w)
{
    for (const Scale &scale : scales) {
        if (w.kind != QLatin1String(scale.kind))
            continue;
        if (!(w.peak > scale.threshold) || w.peak > 1e6)
            return 0;
        const int band = int(std::floor((w.peak - scale.threshold) / scale.step));
        return scale.bands > 0 ? std::min(band, scale.bands) : band;
    }
    return 0;
}

QString daySpanText(const QString &name, const QDateTime &start, const QDateTime &end, const QDate &day)
{
    const QDateTime dayStart(day, QTime(0, 0), Qt::OffsetFromUTC, CityUtcOffsetSeconds);
    const QDateTime dayEnd = dayStart.addDays(1);
    if (start >= dayEnd || end <= dayStart)
        return QString();
    QString text = name;
    const bool fromStart = start <= dayStart;
    const bool toEnd = end >= dayEnd;
    if (!fromStart)
        text += QLatin1Char(' ') + fromHour(start);
    if (!toEnd)
        text = (fromStart ? QCoreApplication::translate("FeedWarning", "%1 حتى %2")
                          : QCoreApplication::translate("FeedWarning", "%1 إلى %2"))
                   .arg(text, hourName(cityTime(end).time()));
    return text;
}

QString dayWarningText(const QList<FeedWarning> &warnings, const QDate &day, const QDateTime &now)
{
    QStringList said;
    for (const FeedWarning &w : warnings) {
        if (!warningInForce(w, now))
            continue;
        const QString text = daySpanText(warningKindText(w.kind), w.start, w.end, day);
        if (!text.isEmpty())
            said << text;
    }
    return said.join(QCoreApplication::translate("SpokenText", "، "));
}
