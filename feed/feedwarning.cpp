// The warnings a city's document carries, and how the board words them.
#include "feed/feedwarning.h"

#include "platform/feeddate.h"
#include "platform/fieldvalue.h"

#include <QDomElement>
#include <QDomNodeList>

#include <algorithm>
#include <cmath>

namespace {

struct KindWords
{
    const char *kind;
    const char16_t *text;
};
constexpr KindWords kinds[] = {
    {"dust", u"عاصفة ترابية"},   {"heat", u"موجة حر شديدة"}, {"rain", u"أمطار غزيرة وسيول محتملة"},
    {"thunder", u"عواصف رعدية"}, {"wind", u"رياح شديدة"},
};

// The day as seen from `today`: "اليوم", "غداً", else "يوم الخميس".
QString dayWord(const QDate &day, const QDate &today)
{
    if (std::abs(today.daysTo(day)) <= 1)
        return dayName(day, today);
    return QStringLiteral(u"يوم ") + weekdayName(day);
}

// Whole days from `first` to `last`: "اليوم", "اليوم وغداً", "من اليوم حتى الخميس".
QString wholeDays(const QDate &first, const QDate &last, const QDate &today)
{
    if (first == last)
        return dayWord(first, today);
    if (first.daysTo(last) == 1)
        return dayWord(first, today) + QStringLiteral(u" و") + dayWord(last, today);
    return QStringLiteral(u"من ") + dayName(first, today) + QStringLiteral(u" حتى ") + dayName(last, today);
}

// Whether a time falls at midnight on the cities' clock.
bool atMidnight(const QDateTime &t)
{
    return cityTime(t).time() == QTime(0, 0);
}

// "من الساعة 3 مساءً", the hour a span begins at on the cities' clock.
QString fromHour(const QDateTime &start)
{
    return QStringLiteral(u"من الساعة ") + hourName(cityTime(start).time());
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
            return QString::fromUtf16(k.text);
    }
    return QString();
}

QString warningPeakText(const FeedWarning &w)
{
    if (!(w.peak > 0) || w.peak > 1e6)
        return QString();
    const QString peak = QString::number(std::lround(w.peak));
    if (w.kind == QLatin1String("heat"))
        return QStringLiteral(u"العظمى ") + peak + u'°';
    if (w.kind == QLatin1String("rain"))
        return peak + QStringLiteral(u" مم");
    if (w.kind == QLatin1String("wind"))
        return QStringLiteral(u"هبات حتى ") + peak + QStringLiteral(u" كم/س");
    if (w.kind == QLatin1String("dust"))
        return QStringLiteral(u"الغبار ") + peak + QStringLiteral(u" ميكروغرام/م³");
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
    QString words = dayWord(first, today) + QLatin1Char(' ') + fromHour(start) + QStringLiteral(u" إلى ");
    if (first != last)
        words += dayWord(end.date(), today) + QStringLiteral(u" الساعة ");
    return words + hourName(end.time());
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
        return dayWord(last, today) + QStringLiteral(u" حتى منتصف الليل");
    }
    return dayWord(end.date(), today) + QStringLiteral(u" حتى ") + hourName(end.time());
}

QString warningTitle(const QString &kind)
{
    return QStringLiteral(u"تنبيه: ") + warningKindText(kind);
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
        text += (fromStart ? QStringLiteral(u" حتى ") : QStringLiteral(u" إلى ")) + hourName(cityTime(end).time());
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
    return said.join(QStringLiteral(u"، "));
}
