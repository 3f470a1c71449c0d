#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// When a row's data was published, from its pubDate as the feed writes it
// ("Tue, 08 Dec 2026 3:00 pm AST"). AST is the cities' own time, UTC+3;
// GMT, UTC and an offset in hours ("+03") are known too; a date with any
// other zone, or none, is taken as the board's local time.
std::optional<QDateTime> publishedAt(const QString &pubDate);

// Whether data published at `published` is old enough to say so: more than
// an hour before `now`.
bool isOldData(const QDateTime &published, const QDateTime &now);

// "آخر تحديث قبل 3 ساعات": how long ago, to the hour, and in days past a
// day; empty while the data is an hour old or less.
QString dataAgeText(const QDateTime &published, const QDateTime &now);
