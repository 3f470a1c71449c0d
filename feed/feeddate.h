#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

// The dates of the feed and the cities' day, read and named in one place
// for the board and the feed service alike (a library on Qt Core alone).

// Every city of the board keeps Arabia Standard Time, UTC+3, all year.
inline constexpr int CityUtcOffsetSeconds = 3 * 3600;

// The cities' day at `now`, whatever zone the machine's clock is set to.
QDate cityDate(const QDateTime &now);

// When a document was published, from its pubDate as the feed service
// writes it ("Tue, 08 Dec 2026 3:00 pm AST"). AST is the cities' time;
// GMT, UTC and an offset in hours ("+03", written for a zone without a
// short name) are known too. Any other zone, or none, is taken as the
// cities' time.
std::optional<QDateTime> publishedAt(const QString &pubDate);

// The weekday in Arabic: "الخميس".
QString weekdayName(const QDate &date);
// A day as seen from `today`: "اليوم", "غداً", "أمس", else its weekday.
QString dayName(const QDate &day, const QDate &today);

// An hour on the twelve-hour clock people speak: "3 مساءً", "12 ظهراً",
// "منتصف الليل".
QString hourName(const QTime &time);
// The same as a scale writes it, short: "3 م", "12 ص".
QString shortHourName(const QTime &time);
