// The warnings a city's document carries, and how the board words them.
#include "feed/feedwarning.h"

#include "feed/feeddate.h"
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
    const QDate today = todayFor(w, now);
    const QDate first = w.start.date();
    // The last day it covers: an end at midnight closes the day before.
    const QDate last = atMidnight(w.end) ? w.end.date().addDays(-1) : w.end.date();
    if (atMidnight(w.start) && atMidnight(w.end))
        return wholeDays(first, last, today);
    QString words = dayWord(first, today) + QStringLiteral(u" من الساعة ") + hourName(w.start.time())
        + QStringLiteral(u" إلى ");
    if (first != last)
        words += dayWord(w.end.date(), today) + QStringLiteral(u" الساعة ");
    return words + hourName(w.end.time());
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
        return dayWord(last, today) + QStringLiteral(u" حتى منتصف الليل");
    }
    return dayWord(w.end.date(), today) + QStringLiteral(u" حتى ") + hourName(w.end.time());
}

QString warningLine(const FeedWarning &w, const QDateTime &now)
{
    return QStringLiteral(u"تنبيه: ") + warningKindText(w.kind) + QLatin1Char(' ') + warningShortTimeWords(w, now);
}

QString daySpanText(const QString &name, const QDateTime &start, const QDateTime &end, const QDate &day)
{
    const QDateTime dayStart(day, QTime(0, 0), Qt::OffsetFromUTC, start.offsetFromUtc());
    const QDateTime dayEnd = dayStart.addDays(1);
    if (start >= dayEnd || end <= dayStart)
        return QString();
    QString text = name;
    const bool fromStart = start <= dayStart;
    const bool toEnd = end >= dayEnd;
    if (!fromStart)
        text += QStringLiteral(u" من الساعة ") + hourName(start.toOffsetFromUtc(start.offsetFromUtc()).time());
    if (!toEnd)
        text += (fromStart ? QStringLiteral(u" حتى ") : QStringLiteral(u" إلى "))
            + hourName(end.toOffsetFromUtc(start.offsetFromUtc()).time());
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
