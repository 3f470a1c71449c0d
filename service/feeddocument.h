#pragma once

#include "citywarnings.h"
#include "cominghours.h"
#include "officialalerts.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

struct Location;

// The units a document is written in: u=c (°C, km, mb, km/h) or
// u=f (°F, mi, in, mph).
enum class Units { Metric, Imperial };

// What the credits of the data sources say, as their licence (CC BY 4.0)
// asks. The air-quality data is Open-Meteo's processing of the Copernicus
// Atmosphere Monitoring Service's forecasts.
inline constexpr char DataCredit[] = "Weather data by Open-Meteo.com";
inline constexpr char DataCreditLink[] = "https://open-meteo.com/";
inline constexpr char AirQualityCredit[] = "Air quality data by Open-Meteo.com from Copernicus CAMS";
inline constexpr char AirQualityCreditLink[] = "https://open-meteo.com/en/docs/air-quality-api";

// The documents' time-to-live in minutes: how long the service keeps a
// city's answer before it asks the upstream again.
inline constexpr int DocumentTtlMinutes = 15;

// Writes the forecast document of one city from an Open-Meteo forecast
// answer (current and daily blocks, as requested by OpenMeteoClient) and,
// when there is one, the city's air-quality answer (its current dust and
// PM10): dust enough to see (isDustCondition) makes the current condition
// dust, and the values are named in the summary. Without an air-quality
// answer (an empty object) the document is made from the forecast alone.
//
// Only what the answer says is written: a value that is missing or null
// leaves its attribute out, an element left without attributes is left out
// too, and an answer without a current block gives no wind, atmosphere or
// condition. Two things stand in for absent data without inventing any: a
// weather code that is missing or unknown is written as the format's
// "not available" (3200), and when is_day is missing the day or night form
// of a sky condition is told from the day's sunrise and sunset (the day form
// when those are missing as well). Values the answer gives in other units
// than the metric defaults are converted; a unit the writer does not know
// leaves the value out. The wind chill is not the upstream's "apparent"
// temperature (which counts humidity and sun) but windChillCelsius().
//
// The city's warnings (cityWarnings()) follow the forecasts, and its coming
// hours (comingHours()) the warnings, as elements of the project's own
// namespace that a reader of the others passes over; the namespace is
// declared only when there are warnings or hours, so that a document
// without them is what it was before either existed. An hour is written in
// the document's units, as the current condition's temperature and the
// wind are. The national centre's alerts that cover the city come between
// the warnings and the hours, one element each with a text element per
// language, their times in the cities' zone (+03:00).
QByteArray writeForecastDocument(const QJsonObject &answer, const Location &location, Units units,
                                 const QJsonObject &airQuality = {}, const QList<CityWarning> &warnings = {},
                                 const QList<ComingHour> &hours = {}, const QList<OfficialAlert> &alerts = {});

// The quantities a series of an answer is read in, each in one base unit.
enum class Quantity {
    Temperature, // °C
    Speed, // km/h
    Precipitation, // mm
    Concentration, // µg/m³
};

// The value of variable `key` at index `i` of a series (an answer's
// `daily` or `hourly` block), in its quantity's base unit, converted by the
// unit the series' units block gives for it; nothing when the value is
// missing, null, beyond any reading, or in a unit not known.
std::optional<double> seriesValue(const QJsonObject &series, const QJsonObject &units, const char *key, int i,
                                  Quantity quantity);

// The document for a location id the service does not know, in the shape the
// original service used: channel "... - Error", item "City not found", and
// the request target echoed in the item's description.
QByteArray writeErrorDocument(const QString &requestTarget);

// "2026-12-07T13:00", a wall-clock reading in the answer's own zone, kept as
// a plain reading (in UTC, which has no daylight saving), never in the
// host's zone: there a Riyadh time may fall into a gap of the host's
// daylight saving and become invalid, or be moved. Where the true instant is
// needed, the answer's utc_offset_seconds gives it. Nothing when the value
// is not such a reading.
std::optional<QDateTime> wallClockReading(const QJsonValue &value);

// When the answer's current conditions were observed, in UTC; nothing when
// the answer carries no usable time or offset.
std::optional<QDateTime> observationTime(const QJsonObject &answer);
