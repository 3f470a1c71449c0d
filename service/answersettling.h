#pragma once

#include "citydocument.h"
#include "openmeteoclient.h"

#include <QDateTime>
#include <QList>

// The answers of one wave, as they stand when it ends.
struct WaveAnswers
{
    QDateTime hour; // the hour the wave asked for
    QDateTime startedAt;
    const FetchResult *forecast = nullptr; // a good answer; null when it failed
    const FetchResult *air = nullptr; // a good answer; null when not asked, failed or late
};

// What each city keeps of a wave's answers: the one place that decides it.
// What is known is kept until something better comes:
//  - a city takes an element of a good answer only when it tells of the
//    hour the wave asked for: an element that is missing, unusable, or of
//    another hour (an earlier one, a day before) leaves the city with what
//    it had, and pauses the city (its back-off) until the next hour's wave;
//  - the forecast and the air are taken each on its own: an air answer
//    that failed, came late, was not asked, or lacks the city leaves the
//    city its older air series, which goes on serving the hours it covers
//    (the dust and its warnings with them).
// Returns how many cities took a forecast.
int settleCities(QList<CityDocument> &cities, const WaveAnswers &wave, const QDateTime &now);
