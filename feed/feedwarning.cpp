// The warnings a city's document carries, and how the board words them.
#include "feed/feedwarning.h"

#include "platform/fieldvalue.h"

#include <QDomElement>
#include <QDomNodeList>

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

constexpr const char16_t *weekdays[] = {
    u"الاثنين", u"الثلاثاء", u"الأربعاء", u"الخميس", u"الجمعة", u"السبت", u"الأحد",
};

// The day as seen from `today`: "اليوم", "غداً", else "يوم الخميس".
QString dayWord(const QDate &day, const QDate &today)
{
    if (day == today)
        return QStringLiteral(u"اليوم");
    if (day == today.addDays(1))
        return QStringLiteral(u"غداً");
    if (day == today.addDays(-1))
        return QStringLiteral(u"أمس");
    return QStringLiteral(u"يوم ") + QString::fromUtf16(weekdays[day.dayOfWeek() - 1]);
}

// "3 مساءً", on the twelve-hour clock people speak.
QString hourWord(const QTime &time)
{
    const int hour = time.hour();
    if (hour == 0)
        return QStringLiteral(u"منتصف الليل");
    if (hour == 12)
        return QStringLiteral(u"12 ظهراً");
    return QString::number(hour % 12) + (hour < 12 ? QStringLiteral(u" صباحاً") : QStringLiteral(u" مساءً"));
}

bool atMidnight(const QDateTime &t)
{
    return t.time() == QTime(0, 0);
}

// The warning's times and `now` on the city's own clock.
QDate todayFor(const FeedWarning &w, const QDateTime &now)
{
    return now.toOffsetFromUtc(w.start.offsetFromUtc()).date();
}

} // namespace

QList<FeedWarning> readWarnings(const QDomElement &channel)
{
    QList<FeedWarning> warnings;
    const QDomNodeList elements = channel.elementsByTagName(QStringLiteral("rorizedivo:warning"));
    for (int i = 0; i < elements.size(); ++i) {
        const QDomElement e = elements.item(i).toElement();
        FeedWarning w;
        w.kind = e.attribute(QStringLiteral("kind"));
        w.start = QDateTime::fromString(e.attribute(QStringLiteral("start")), Qt::ISODate);
        w.end = QDateTime::fromString(e.attribute(QStringLiteral("end")), Qt::ISODate);
        const std::optional<double> peak = parseNumber(e.attribute(QStringLiteral("peak")));
        w.peak = peak && std::isfinite(*peak) ? *peak : 0;
        if (!warningKindText(w.kind).isEmpty() && w.start.isValid() && w.end.isValid() && w.start < w.end)
            warnings.append(w);
    }
    return warnings;
}

QString warningKindText(const QString &kind)
{
    for (const KindWords &k : kinds) {
        if (kind == QLatin1String(k.kind))
            return QString::fromUtf16(k.text);
    }
    return QString();
}

QString warningTimeWords(const FeedWarning &w, const QDateTime &now)
{
    const QDate today = todayFor(w, now);
    const QDate first = w.start.date();
    // The last day it covers: an end at midnight closes the day before.
    const QDate last = atMidnight(w.end) ? w.end.date().addDays(-1) : w.end.date();
    if (atMidnight(w.start) && atMidnight(w.end)) {
        if (first == last)
            return dayWord(first, today);
        return dayWord(first, today) + QStringLiteral(u" و") + dayWord(last, today);
    }
    QString words = dayWord(first, today) + QStringLiteral(u" من الساعة ") + hourWord(w.start.time())
        + QStringLiteral(u" إلى ");
    if (first != last)
        words += dayWord(w.end.date(), today) + QStringLiteral(u" الساعة ");
    return words + hourWord(w.end.time());
}

QString warningShortTimeWords(const FeedWarning &w, const QDateTime &now)
{
    if (w.start > now)
        return warningTimeWords(w, now);
    const QDate today = todayFor(w, now);
    if (atMidnight(w.end)) {
        const QDate last = w.end.date().addDays(-1);
        if (atMidnight(w.start) && last == today)
            return dayWord(last, today);
        return dayWord(last, today) + QStringLiteral(u" حتى منتصف الليل");
    }
    return dayWord(w.end.date(), today) + QStringLiteral(u" حتى ") + hourWord(w.end.time());
}

QString warningLine(const FeedWarning &w, const QDateTime &now)
{
    return QStringLiteral(u"تنبيه: ") + warningKindText(w.kind) + QLatin1Char(' ') + warningShortTimeWords(w, now);
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
        if (!fromStart)
            text += QStringLiteral(u" من الساعة ") + hourWord(w.start.toOffsetFromUtc(w.start.offsetFromUtc()).time());
        if (!toEnd)
            text += (fromStart ? QStringLiteral(u" حتى ") : QStringLiteral(u" إلى "))
                + hourWord(w.end.toOffsetFromUtc(w.start.offsetFromUtc()).time());
        said << text;
    }
    return said.join(QStringLiteral(u"، "));
}
