#pragma once

#include <QString>

#include <optional>

// The feed's condition codes (0 to 47, 3200 for "not available") and their
// English names, and the mapping from the WMO weather codes that the upstream
// reports.
struct FeedCondition
{
    int code = 3200;
    QString text;
};

inline constexpr int NotAvailableCode = 3200;

// The English name of a feed condition code, as the feed writes it in the
// condition's and the forecasts' text attribute ("Partly Cloudy").
QString conditionName(int code);

// The feed condition for a WMO weather code (the ww subset that forecast
// models report: 0-3, 45, 48, 51-57, 61-67, 71-77, 80-86, 95-99). Sky and
// cloud states have a day and a night form; everything else is the same by
// day and night. A code outside that subset gives 3200, "Not Available".
FeedCondition conditionForWmoCode(int wmoCode, bool daytime);

// The feed's code for dust, which no WMO code of the upstream's forecast
// models gives: it comes from the air-quality answer instead.
inline constexpr int DustCode = 19;

// Dust near the ground, in μg/m³, from which a city's current condition is
// dust. At 500 μg/m³ the air carries so much mineral dust that one sees only
// about 2 to 3 km (the relation of dust mass to visibility measured in desert
// dust, roughly C = 914 * V^-0.73 + 19 with V in km, gives 2.4 km): that is
// the widespread dust that observers report once dust takes the visibility
// under 5 km, and some ten times the region's clear-day background.
inline constexpr double DustConditionMicrogramsPerCubicMetre = 500.0;

// Whether the current condition is dust: the surface dust concentration is
// at or above the threshold, and the weather itself says nothing that a
// person outside would notice first. Fog, precipitation of every kind and
// thunderstorms (WMO ww 40 to 99) keep their own condition; a clear or
// cloudy sky (0 to 3), or no weather code at all, gives way to the dust.
bool isDustCondition(std::optional<int> wmoCode, std::optional<double> dustMicrogramsPerCubicMetre);
