#pragma once

#include "platform/feeddate.h"

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

// How values are written into a feed document. The board stores some of
// them in narrow columns (publication time 30 characters, sunrise, sunset,
// latitude and longitude 8), so every text here is kept within those widths.

// "6:31 am", "12:05 pm": hour without leading zero, minutes, lower-case
// half of the day.
QString feedClockText(const QTime &time);

// "Mon, 07 Dec 2026 1:00 pm AST", or without the zone when `zone` is
// empty. English names whatever the machine's locale is.
QString feedDateTimeText(const QDate &date, const QTime &time, const QString &zone);

// "7 Dec 2026", the forecast's date, is feedDayText of platform/feeddate.h.
// "Mon".
QString feedWeekdayText(const QDate &date);

// The zone the times are given in: "AST" for Saudi time, else the upstream's
// abbreviation when it is at most four characters ("GMT", "CEST"), else a
// whole-hour offset ("+02", "-04"). Empty when none of them fits in four
// characters (a zone of "+0530" would push the longest publication time past
// the board's 30 characters); the writer then gives its times in GMT.
QString feedZoneText(const QString &timezoneName, const QString &abbreviation, std::optional<int> utcOffsetSeconds);

// A decimal with at most `decimals` places, trailing zeros and point
// dropped ("3.6", "1030.4", "10"); never "-0".
QString feedDecimalText(double value, int decimals);

// The largest number the texts below are written for; no reading in any
// unit comes near it.
inline constexpr double MaximumFeedNumber = 1e9;

// A whole number, rounded half away from zero; never "-0". Empty beyond
// MaximumFeedNumber (and for NaN).
QString feedWholeText(double value);

// The current temperature. The board takes a temperature of exactly 0 as
// "no reading" and drops the city, so a reading that is not zero but would
// round to it keeps its tenths ("0.4", "-0.3") instead of becoming "0".
QString feedTemperatureText(double value);

// The wind chill as the old feeds gave it: the North American formula of
// 2001 (temperature in °C at 2 m, wind in km/h at 10 m), which counts only
// where cold and wind meet; above 10 °C, or with a wind of 4.8 km/h or less,
// the chill is the temperature itself.
double windChillCelsius(double celsius, double windKmh);

// Unit conversions from the upstream's metric values.
double celsiusToFahrenheit(double celsius);
double kmhToMph(double kmh);
double metresToKilometres(double metres);
double metresToMiles(double metres);
double hectopascalsToInchesOfMercury(double hectopascals);

// A latitude or longitude with up to four decimals, cut to fewer where the
// text would otherwise be longer than eight characters ("-118.412").
QString feedCoordinateText(double degrees);
