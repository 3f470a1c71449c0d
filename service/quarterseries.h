#pragma once

#include <QDateTime>
#include <QJsonObject>

#include <optional>

// The service asks the upstream once an hour for the quarter-hour series of
// that hour, and serves each quarter from it. These turn one city's element
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

// The latest quarter, at or before `atOrBefore`, that a forecast element
// gives conditions for: from its quarter-hour series, or, for an element
// with a current block of its own, that block's quarter. Nothing when it
// gives none, or tells no time.
std::optional<QDateTime> latestQuarter(const QJsonObject &forecast, const QDateTime &atOrBefore);

// The forecast element as an answer with a current block for `quarter`:
// every quarter-hour variable at that quarter, every hourly one at the
// quarter's hour (unless the quarter-hour series has it too), the daily
// values and the answer's zone as they are. An element with a current block
// of its own is returned as it is when the block is for that quarter. An
// empty object when the element has nothing for the quarter.
QJsonObject forecastAtQuarter(const QJsonObject &forecast, const QDateTime &quarter);

// The air-quality element as an answer with a current block for the hour
// of `quarter`, as the upstream gives the air: every hourly variable at that
// hour. An element with a current block of its own is returned as it is
// when the block is for that hour. An empty object when it has nothing.
QJsonObject airQualityAtQuarter(const QJsonObject &airQuality, const QDateTime &quarter);
