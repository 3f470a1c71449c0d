#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// Warnings of the weather that harms people here, derived from what a wave
// already fetches: the hourly dust near the ground (air quality) and the
// daily highest temperature, weather code, precipitation and highest gust
// (forecast). The README gives the reason for each threshold.

// In the order a document lists warnings of the same start.
enum class WarningKind { Dust, Heat, Rain, Thunder, Wind };

// A dust or sand storm: dust near the ground, in µg/m³, in any hour. About
// where the visibility falls under 1 km (C = 914 * V^-0.73 + 19 gives
// 0.9 km), which is what observers call a dust storm.
inline constexpr double DustStormMicrogramsPerCubicMetre = 1000.0;
// Extreme heat: the day's highest temperature, °C.
inline constexpr double ExtremeHeatCelsius = 48.0;
// Heavy rain with flash floods likely: the day's precipitation, mm.
inline constexpr double HeavyRainMillimetres = 20.0;
// Thunderstorms: the day's WMO weather code, 95 (thunderstorm) to 99
// (thunderstorm with heavy hail).
inline constexpr int FirstThunderstormCode = 95;
inline constexpr int LastThunderstormCode = 99;
// Strong wind: the day's highest gust at 10 m, km/h.
inline constexpr double StrongGustKilometresPerHour = 60.0;

struct CityWarning
{
    WarningKind kind = WarningKind::Dust;
    // The city's local time with its UTC offset; `end` is exclusive. Dust
    // to the hour, the other kinds whole local days.
    QDateTime start;
    QDateTime end;
    // Dust µg/m³ (the highest hour), heat °C, rain mm, thunder the weather
    // code, wind km/h.
    double peak = 0.0;

    bool operator==(const CityWarning &other) const
    {
        return kind == other.kind && start == other.start && end == other.end && peak == other.peak;
    }
};

// "dust", "heat", "rain", "thunder", "wind": the kind as documents name it.
QString warningKindName(WarningKind kind);

// The city's warnings for the quarter that begins at `quarter` (UTC), on
// its local today and tomorrow, ordered by start and then by kind:
//  - from the daily values of the forecast element (its `daily` block), one
//    warning a kind and day over its threshold;
//  - from the hourly dust of the air-quality element, one warning for each
//    run of consecutive hours at or over the threshold that starts within
//    the 24 hours from the quarter's hour; hours before that hour are past,
//    and a run lasts as long as the series says, across midnight too.
// Either element may be empty, or miss what is needed: it then gives no
// warnings. Values in other units than the base ones are converted; a unit
// not known gives none.
QList<CityWarning> cityWarnings(const QJsonObject &forecast, const QJsonObject &airQuality, const QDateTime &quarter);

// A replayed document whose warnings are moved to be in force at `now`, as
// if it had been written now: each warning shifted by the whole hours (dust)
// or whole days (the other kinds) between the document's own time (its
// pubDate, in the warnings' offset) and `now`. A document without warnings,
// or without a time to shift from, is returned as it is.
QByteArray warningsMovedTo(const QByteArray &document, const QDateTime &now);
