#pragma once

#include <QString>

// The Arabic words for the feed's numeric condition code (the "code"
// attribute of yweather:condition). The texts are stored in the Condition
// column and searched by substring elsewhere, so they are kept code unit for
// code unit as the board has always written them, with no normalisation.
QString conditionText(float code);

// Whether a condition text speaks of rain: it contains "مطر" (rain) or
// "مطار" (as in the plural أمطار); and of a thunderstorm: "رعدية". The
// match is on exact code units; "رعود" (plain thunder) does not count.
bool conditionSpeaksOfRainfall(const QString &conditionText);
bool conditionSpeaksOfThunderstorm(const QString &conditionText);

// Either of the two: the rain a city's ticker segment prays for.
bool conditionSpeaksOfRain(const QString &conditionText);
