#pragma once

#include "cominghours.h"
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

// The condition of one moment of a reading: dust when the air says so
// (isDustCondition), else its weather code's, by day or by night (its
// is_day, else the sunrise and sunset of `day`, else by day).
FeedCondition conditionAt(const Current &current, const Day *day, const std::optional<Air> &air);

// The day the current conditions belong to: the day of the observation, or
// the first day when the observation has no time; none when the reading
// has no such day.
const Day *dayOfReading(const Reading &reading);

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
    QList<ComingHour> hours;
};

// What the document of one city's answer tells, in these units: the
// current conditions and the day they belong to, the condition (dust when
// the air says so), the publication time in the zone shown, the coming
// days, the warnings and the coming hours.
DocumentFacts factsOf(const QJsonObject &answer, const Location &location, Units units, const QJsonObject &airQuality,
                      const QList<CityWarning> &warnings, const QList<ComingHour> &hours);
