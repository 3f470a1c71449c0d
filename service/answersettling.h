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
    const FetchResult *forecast = nullptr; // a good answer (ok)
    const FetchResult *air = nullptr; // a good answer; null when not asked, failed or late
};

// What each city keeps of a wave whose forecast request was answered: the
// one place that decides it. A city whose element is unusable keeps what
// it had and waits (its own pause) for the next hour's wave; the others take
// their elements. Returns how many cities took a forecast.
int settleCities(QList<CityDocument> &cities, const WaveAnswers &wave, const QDateTime &now);
