#include "platform/feeddate.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

// The day and month as the feed writes them, in C's words whatever the locale.
const QString FeedDayFormat = QStringLiteral("d MMM yyyy");

QDateTime hourStart(const QDateTime &time)
{
    return QDateTime(time.date(), QTime(time.time().hour(), 0), Qt::OffsetFromUTC, time.offsetFromUtc());
}

} // namespace

QDateTime cityTime(const QDateTime &time)
{
    return time.toOffsetFromUtc(CityUtcOffsetSeconds);
}

QDate cityDate(const QDateTime &now)
{
    return cityTime(now).date();
}

QString publishedZone(const QString &pubDate)
{
    // The zone follows the half of the day; a text that ends in the half has none.
    const QString text = pubDate.simplified();
    const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
    const QString zone = space > 0 ? text.mid(space + 1) : QString();
    if (zone.compare(QLatin1String("am"), Qt::CaseInsensitive) == 0
        || zone.compare(QLatin1String("pm"), Qt::CaseInsensitive) == 0)
        return QString();
    return zone;
}

std::optional<QDateTime> publishedAt(const QString &pubDate)
{
    QString text = pubDate.simplified();
    int offset = CityUtcOffsetSeconds;
    const QString zone = publishedZone(text);
    if (!zone.isEmpty()) {
        bool hours = false;
        const int offsetHours = zone.size() == 3 && (zone[0] == u'+' || zone[0] == u'-') ? zone.toInt(&hours) : 0;
        if (zone == QLatin1String("GMT") || zone == QLatin1String("UTC"))
            offset = 0;
        else if (hours)
            offset = offsetHours * 3600;
        text.truncate(text.size() - zone.size() - 1);
    }
    QDateTime at = QLocale::c().toDateTime(text, QStringLiteral("ddd, d MMM yyyy h:mm ap"));
    if (!at.isValid())
        at = QLocale::c().toDateTime(text, QStringLiteral("ddd, d MMM yyyy h:mm AP"));
    if (!at.isValid())
        return std::nullopt;
    return QDateTime(at.date(), at.time(), Qt::OffsetFromUTC, offset);
}

QString feedDayText(const QDate &date)
{
    return QLocale::c().toString(date, FeedDayFormat);
}

QDate feedDayFromText(const QString &text)
{
    return QLocale::c().toDate(text, FeedDayFormat);
}

ReplayShift replayShift(const QDateTime &written, const QDateTime &now)
{
    const QDateTime then = hourStart(cityTime(written));
    const QDateTime hour = hourStart(cityTime(now));
    return {then.secsTo(hour) / 3600, then.date().daysTo(hour.date())};
}

QString weekdayName(const QDate &date)
{
    // By QDate's day of the week, Monday first.
    static const char *const names[7] = {
        QT_TRANSLATE_NOOP("FeedDate", "الاثنين"),  QT_TRANSLATE_NOOP("FeedDate", "الثلاثاء"),
        QT_TRANSLATE_NOOP("FeedDate", "الأربعاء"), QT_TRANSLATE_NOOP("FeedDate", "الخميس"),
        QT_TRANSLATE_NOOP("FeedDate", "الجمعة"),   QT_TRANSLATE_NOOP("FeedDate", "السبت"),
        QT_TRANSLATE_NOOP("FeedDate", "الأحد")};
    return date.isValid() ? QCoreApplication::translate("FeedDate", names[date.dayOfWeek() - 1]) : QString();
}

QString dayName(const QDate &day, const QDate &today)
{
    const qint64 ahead = today.daysTo(day);
    if (ahead == 0)
        return QCoreApplication::translate("FeedDate", "اليوم");
    if (ahead == 1)
        return QCoreApplication::translate("FeedDate", "غداً");
    if (ahead == -1)
        return QCoreApplication::translate("FeedDate", "أمس");
    return weekdayName(day);
}

QString hourName(const QTime &time)
{
    const int hour = time.hour();
    if (hour == 0)
        return QCoreApplication::translate("FeedDate", "منتصف الليل");
    if (hour == 12)
        return QCoreApplication::translate("FeedDate", "12 ظهراً");
    const QString figure = QString::number(hour % 12);
    return hour < 12 ? QCoreApplication::translate("FeedDate", "%1 صباحاً").arg(figure)
                     : QCoreApplication::translate("FeedDate", "%1 مساءً").arg(figure);
}

QString shortHourName(const QTime &time)
{
    const int hour = time.hour();
    const QString figure = QString::number(hour % 12 == 0 ? 12 : hour % 12);
    return hour < 12 ? QCoreApplication::translate("FeedDate", "%1 ص").arg(figure)
                     : QCoreApplication::translate("FeedDate", "%1 م").arg(figure);
}
