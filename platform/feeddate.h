#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// The dates of the feed and the cities' day, zone and hours, read and named
// in one place for the board and the feed service alike (a library on Qt
// Core alone).

// Every city of the board keeps Arabia Standard Time, UTC+3, all year: no
// daylight saving, so the zone is this offset and needs no zone database.
inline constexpr int CityUtcOffsetSeconds = 3 * 3600;

// The coming hours a city's document tells, the board keeps and the curve
// draws, from the current one on.
inline constexpr int ComingHourCount = 24;

// A time as the cities' clocks show it: the same instant at UTC+3, whatever
// offset it was written or read with. The feed service writes every time so,
// and the board shows every time so.
QDateTime cityTime(const QDateTime &time);
// The cities' day at `now`, whatever zone the machine's clock is set to.
QDate cityDate(const QDateTime &now);

// The zone a pubDate names after its half of the day ("AST" in "Tue, 08
// Dec 2026 3:00 pm AST"); empty when it names none.
QString publishedZone(const QString &pubDate);
// When a document was published, from its pubDate as the feed service
// writes it ("Tue, 08 Dec 2026 3:00 pm AST"). AST is the cities' time;
// GMT, UTC and an offset in hours ("+03", written for a zone without a
// short name) are known too. Any other zone, or none, is taken as the
// cities' time.
std::optional<QDateTime> publishedAt(const QString &pubDate);

// A coming day's date as the feed writes it, "8 Dec 2026", and read back
// (invalid when it is not one).
QString feedDayText(const QDate &date);
QDate feedDayFromText(const QString &text);

// How far a replayed document moves to be one of `now`: the whole hours
// from the hour it was written in to now's, and the days from its day to
// today, both on the cities' clock.
struct ReplayShift
{
    qint64 hours = 0;
    qint64 days = 0;
};
ReplayShift replayShift(const QDateTime &written, const QDateTime &now);

// The weekday in Arabic: "الخميس".
QString weekdayName(const QDate &date);
// A day as seen from `today`: "اليوم", "غداً", "أمس", else its weekday.
QString dayName(const QDate &day, const QDate &today);

// An hour on the twelve-hour clock people speak: "3 مساءً", "12 ظهراً",
// "منتصف الليل".
QString hourName(const QTime &time);
// The same as a scale writes it, short: "3 م", "12 ص".
QString shortHourName(const QTime &time);
