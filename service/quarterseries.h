#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>

#include <optional>

// The service asks the upstream once an hour for the quarter-hour series of
// the 24 hours from that hour, and serves each quarter of its first hour
// from it; the quarters after that hour are forecasts, told as the coming
// hours (cominghours.h), never served as conditions. These turn one city's element
// of such an answer into the answer the upstream's own `current` block would
// have given for one quarter, so that documents are written by the same
// code whichever way the values came.
//
// Quarters and hours are given by their start, in UTC; an answer names its
// readings in the city's own wall-clock time and says its offset from UTC
// (utc_offset_seconds).

// The start of the quarter hour, or of the hour, that `utc` falls in.
QDateTime quarterStart(const QDateTime &utc);
QDateTime hourStart(const QDateTime &utc);

// The quarters a forecast element gives conditions for: those of the first
// hour of its quarter-hour series (the hour its wave asked for), or, for an
// element with a current block of its own, that block's quarter. None when
// it tells no time.
QList<QDateTime> conditionQuarters(const QJsonObject &forecast);

// The forecast element with its quarter-hour series cut to the quarters of
// conditionQuarters(), and the rest of that series apart: a reader that
// takes any quarter of a series up to now as conditions (the release
// before this one reads the answers it finds on disk so) finds none of the
// hours' forecasts in the first. An element without such a series comes
// back whole, and nothing apart.
struct SplitSeries
{
    QJsonObject conditions;
    QJsonObject series; // the whole quarter-hour series ("minutely_15"), or empty
};
SplitSeries splitConditions(const QJsonObject &forecast);
// The element again, from what splitConditions gave.
QJsonObject joinedConditions(const SplitSeries &split);

// The latest of the quarters at or before `atOrBefore`: of a forecast
// element's conditionQuarters(), or of those found once and kept (a city
// asks at every request, and a day's series has 96 readings to look at).
std::optional<QDateTime> latestQuarter(const QJsonObject &forecast, const QDateTime &atOrBefore);
std::optional<QDateTime> latestQuarter(const QList<QDateTime> &quarters, const QDateTime &atOrBefore);

// The forecast element as an answer with a current block for `quarter`:
// every quarter-hour variable at that quarter, every hourly one at the
// quarter's hour (unless the quarter-hour series has it too), the daily
// values and the answer's zone as they are. An element with a current block
// of its own is returned as it is when the block is for that quarter. An
// empty object when the element has nothing for the quarter.
QJsonObject forecastAtQuarter(const QJsonObject &forecast, const QDateTime &quarter);

// The quarter-hour series of a forecast element at each whole hour from the
// hour of `from` (UTC) on, as forecastAtQuarter gives each, `hours` of them
// at most: the hours the series covers one after another from that hour
// (none when it lacks that hour), with the instant of each.
// The series is read whether or not the element has a current block too;
// nothing for an element without one.
QList<QPair<QDateTime, QJsonObject>> forecastAtHours(const QJsonObject &forecast, const QDateTime &from, int hours);

// The air-quality element as an answer with a current block for the hour
// of `quarter`, as the upstream gives the air: every hourly variable at that
// hour. An element with a current block of its own is returned as it is
// when the block is for that hour. An empty object when it has nothing.
QJsonObject airQualityAtQuarter(const QJsonObject &airQuality, const QDateTime &quarter);

// The air-quality element at each hour from the hour of `from` (UTC) on,
// `hours` of them at most, each as an answer with a current block: every
// hour its hourly series tells, read whether or not it has a current block
// too, and that block's own hour where the series does not tell it.
QMap<QDateTime, QJsonObject> airQualityAtHours(const QJsonObject &airQuality, const QDateTime &from, int hours);
