#include "answersettling.h"

#include "locationtable.h"
#include "quarterseries.h"
#include "servicelog.h"

int settleCities(QList<CityDocument> &cities, const WaveAnswers &wave, const QDateTime &now)
{
    const FetchResult &forecast = *wave.forecast;
    const bool airOk = wave.air != nullptr;
    // The last quarter the wave was asked for: an element that holds none
    // up to it cannot be served.
    const QDateTime lastQuarter = wave.hour.addSecs(3 * CityDocument::QuarterSeconds);
    int stored = 0;
    for (qsizetype k = 0; k < cities.size(); ++k) {
        CityDocument &city = cities[k];
        const QString &id = city.location().id;
        const QJsonObject answer = forecast.answers.value(k);
        const QJsonObject air = airOk ? wave.air->answers.value(k) : QJsonObject();
        if (airOk) {
            if (air.isEmpty()) {
                city.airBackoff.fail(now, -1);
                qCWarning(lcForecastd, "%s: no air quality (%s)", qPrintable(id),
                          qPrintable(wave.air->problems.value(k)));
            } else {
                city.airBackoff.succeed();
            }
        }
        if (answer.isEmpty() || !::latestQuarter(answer, lastQuarter)) {
            city.backoff.fail(now, -1);
            const QString why = answer.isEmpty() ? forecast.problems.value(k)
                                                 : QStringLiteral("no quarter of the hour asked for");
            // Said once when the city begins to fail; every hour after that
            // would only repeat it.
            if (city.backoff.failures == 1)
                qCWarning(lcForecastd, "%s: no forecast in the answer (%s); the next wave asks again", qPrintable(id),
                          qPrintable(why));
            else
                qCDebug(lcForecastd, "%s: still no forecast (%s)", qPrintable(id), qPrintable(why));
            continue;
        }
        city.backoff.succeed();
        city.keep({answer, air, wave.startedAt});
        ++stored;
    }
    return stored;
}
