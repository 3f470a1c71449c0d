#include "answersettling.h"

#include "locationtable.h"
#include "quarterseries.h"
#include "servicelog.h"

namespace {

// Whether a forecast element gives conditions for a quarter of the hour
// that begins at `hour`.
bool forecastTellsOf(const QJsonObject &forecast, const QDateTime &hour)
{
    const auto quarter = ::latestQuarter(forecast, hour.addSecs(3 * CityDocument::QuarterSeconds));
    return quarter && *quarter >= hour;
}

// Whether an air-quality element gives the air of the hour that begins at
// `hour` (its series may go on past it).
bool airTellsOf(const QJsonObject &airQuality, const QDateTime &hour)
{
    return !airQualityAtQuarter(airQuality, hour).isEmpty();
}

// Why an element was not taken: the answer's own reason when there was no
// element.
QString whyNot(const QJsonObject &element, const FetchResult &answer, qsizetype k)
{
    return element.isEmpty() ? answer.problems.value(k) : QStringLiteral("not of the hour asked for");
}

// Pauses the city's part and says so once, when it begins to fail; every
// hour after that would only repeat it.
void cityFailed(Backoff &backoff, const QString &id, const char *what, const QString &why, const QDateTime &now)
{
    backoff.fail(now, -1);
    if (backoff.failures == 1)
        qCWarning(lcForecastd, "%s: no %s in the answer (%s); the next wave asks again, and what is known is kept",
                  qPrintable(id), what, qPrintable(why));
    else
        qCDebug(lcForecastd, "%s: still no %s (%s)", qPrintable(id), what, qPrintable(why));
}

} // namespace

int settleCities(QList<CityDocument> &cities, const WaveAnswers &wave, const QDateTime &now)
{
    int stored = 0;
    for (qsizetype k = 0; k < cities.size(); ++k) {
        CityDocument &city = cities[k];
        const QString &id = city.location().id;
        KeptAnswers kept = city.answers();
        bool changed = false;
        if (wave.air) {
            const QJsonObject air = wave.air->answers.value(k);
            if (airTellsOf(air, wave.hour)) {
                city.airBackoff.succeed();
                kept.airQuality = air;
                changed = true;
            } else {
                cityFailed(city.airBackoff, id, "air quality", whyNot(air, *wave.air, k), now);
            }
        }
        if (wave.forecast) {
            const QJsonObject forecast = wave.forecast->answers.value(k);
            if (forecastTellsOf(forecast, wave.hour)) {
                city.backoff.succeed();
                kept.forecast = forecast;
                kept.fetchedAt = wave.startedAt;
                changed = true;
                ++stored;
            } else {
                cityFailed(city.backoff, id, "forecast", whyNot(forecast, *wave.forecast, k), now);
            }
        }
        if (changed)
            city.keep(kept);
    }
    return stored;
}
