#pragma once

#include "conditions.h"
#include "upstreamreading.h"

#include "platform/feeddate.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>

// The coming hours of a city: the weather at each whole hour of the next
// day, read from the quarter-hour series each wave asks for. The series
// runs for 24 hours from the wave's hour, at no more cost than that hour
// alone: the upstream weighs a call by its locations and variables, and by
// its days only past 14. A document carries the hours after its warnings,
// as elements of the project's own namespace, which a reader of the others
// passes over.

struct ComingHour
{
    QDateTime time; // the hour's start, on the cities' clock (cityTime)
    FeedCondition condition;
    Maybe temperature; // °C
    Maybe windSpeed; // km/h
    Maybe windDirection; // degrees
};

// The whole hours of the forecast element's quarter-hour series from the
// hour `now` (UTC) falls in, ComingHourCount at most: as many as the series
// covers one after another from that hour, so fewer from an older wave's. Each hour is its quarter of the
// series, read as the current conditions are read from theirs: the same
// units, the same day and night forms, and dust from the air-quality
// element's dust at that hour (its hourly series, or its current block when
// that is of the hour), as the current condition takes it. None for an
// element without a quarter-hour series: an answer with a current block
// alone tells no hours.
QList<ComingHour> comingHours(const QJsonObject &forecast, const QJsonObject &airQuality, const QDateTime &now);

// A replayed document whose hours are moved by as many whole hours as lie
// between its own time (its pubDate) and `now`, like its dust warnings
// (warningsMovedTo): the hour it was written in becomes the hour of `now`.
// A document without hours, or without a time to shift from, is returned
// as it is.
QByteArray hoursMovedTo(const QByteArray &document, const QDateTime &now);
