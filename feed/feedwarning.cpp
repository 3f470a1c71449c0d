// The warnings a city's document carries, and how the board words them.
#include "feed/feedwarning.h"

#include "feed/feeddate.h"
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

bool atMidnight(const QDateTime &t)
{
    return t.time() == QTime(0, 0);
}

// `now` on the city's own clock, whose offset the warning's times carry.
QDate todayFor(const FeedWarning &w, const QDateTime &now)
{
    return now.toOffsetFromUtc(w.start.offsetFromUtc()).date();
}

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
    const QDate today = todayFor(w, now);
    const QDate first = w.start.date();
    // The last day it covers: an end at midnight closes the day before.
    const QDate last = atMidnight(w.end) ? w.end.date().addDays(-1) : w.end.date();
    if (atMidnight(w.start) && atMidnight(w.end))
        return wholeDays(first, last, today);
    if (first != last)
        return QCoreApplication::translate("FeedWarning", "%1 من الساعة %2 إلى %3 الساعة %4")
            .arg(dayWord(first, today), hourName(w.start.time()), dayWord(w.end.date(), today), hourName(w.end.time()));
    return QCoreApplication::translate("FeedWarning", "%1 من الساعة %2 إلى %3")
        .arg(dayWord(first, today), hourName(w.start.time()), hourName(w.end.time()));
}

QString warningShortTimeWords(const FeedWarning &w, const QDateTime &now)
{
    if (w.start > now)
        return warningTimeWords(w, now);
    const QDate today = todayFor(w, now);
    if (atMidnight(w.end)) {
        const QDate last = w.end.date().addDays(-1);
        if (atMidnight(w.start))
            return wholeDays(today, last, today);
        return QCoreApplication::translate("FeedWarning", "%1 حتى منتصف الليل").arg(dayWord(last, today));
    }
    return QCoreApplication::translate("FeedWarning", "%1 حتى %2")
        .arg(dayWord(w.end.date(), today), hourName(w.end.time()));
}

QString warningLine(const FeedWarning &w, const QDateTime &now)
{
    return QCoreApplication::translate("FeedWarning", "تنبيه: %1 %2")
        .arg(warningKindText(w.kind), warningShortTimeWords(w, now));
}

QString dayWarningText(const QList<FeedWarning> &warnings, const QDate &day, const QDateTime &now)
{
    QStringList said;
    for (const FeedWarning &w : warnings) {
        if (!warningInForce(w, now))
            continue;
        const QDateTime dayStart(day, QTime(0, 0), Qt::OffsetFromUTC, w.start.offsetFromUtc());
        const QDateTime dayEnd = dayStart.addDays(1);
        if (w.start >= dayEnd || w.end <= dayStart)
            continue;
        QString text = warningKindText(w.kind);
        const bool fromStart = w.start <= dayStart;
        const bool toEnd = w.end >= dayEnd;
        const QString from = hourName(w.start.toOffsetFromUtc(w.start.offsetFromUtc()).time());
        const QString to = hourName(w.end.toOffsetFromUtc(w.start.offsetFromUtc()).time());
        if (!fromStart && !toEnd)
            text = QCoreApplication::translate("FeedWarning", "%1 من الساعة %2 إلى %3").arg(text, from, to);
        else if (!fromStart)
            text = QCoreApplication::translate("FeedWarning", "%1 من الساعة %2").arg(text, from);
        else if (!toEnd)
            text = QCoreApplication::translate("FeedWarning", "%1 حتى %2").arg(text, to);
        said << text;
    }
    return said.join(QCoreApplication::translate("SpokenText", "، "));
}
