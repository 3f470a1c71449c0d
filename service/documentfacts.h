#pragma once

#include "conditions.h"
#include "feeddocument.h"
#include "feedformat.h"
#include "upstreamreading.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

struct Location;

// The feed condition of a WMO weather code; "not available" without one.
FeedCondition conditionOf(std::optional<int> wmoCode, bool daytime);

// The values as texts in the document's units.
struct UnitTexts
{
    Units units;

    QString temperature(double c) const
    {
        return feedTemperatureText(units == Units::Metric ? c : celsiusToFahrenheit(c));
    }
    QString wholeTemperature(double c) const
    {
        return feedWholeText(units == Units::Metric ? c : celsiusToFahrenheit(c));
    }
    QString speed(double kmh) const { return feedDecimalText(units == Units::Metric ? kmh : kmhToMph(kmh), 2); }
    QString distance(double m) const
    {
        return feedDecimalText(units == Units::Metric ? metresToKilometres(m) : metresToMiles(m), 2);
    }
    QString pressure(double hpa) const
    {
        return feedDecimalText(units == Units::Metric ? hpa : hectopascalsToInchesOfMercury(hpa), 2);
    }
    QString temperatureUnit() const { return units == Units::Metric ? QStringLiteral("C") : QStringLiteral("F"); }
};

// What one document tells, worked out once before it is written.
struct DocumentFacts
{
    Reading reading;
    UnitTexts in{Units::Metric};
    const Day *day = nullptr;
    QString place; // "Riyadh, SA"
    std::optional<QDateTime> shown; // the observation time as it is shown beside its zone
    std::optional<QString> published;
    std::optional<FeedCondition> condition;
    QList<Day> forecastDays;
    QList<CityWarning> warnings;
};

// What the document of one city's answer tells, in these units: the
// current conditions and the day they belong to, the condition (dust when
// the air says so), the publication time in the zone shown, the coming
// days and the warnings.
DocumentFacts factsOf(const QJsonObject &answer, const Location &location, Units units, const QJsonObject &airQuality,
                      const QList<CityWarning> &warnings);
