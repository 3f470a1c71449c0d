#pragma once

#include <QString>

// The shortest decimal text of a single-precision value, at most seven
// significant digits, whole values without a decimal point: 33, 6, 14.48.
QString singleText(float value);

// The shortest decimal text that reads back as exactly the same
// single-precision value (up to nine significant digits). Stored REAL values
// use it so that 14.48 is kept as 14.48 and not as 14.4799995422363.
QString singleRoundTripText(float value);

// Rounds to the nearest whole number, halves to the even neighbour
// (2.5 gives 2, 3.5 gives 4, -2.5 gives -2).
double roundHalfEven(double value);

// A count in Arabic, agreeing with its number: the word alone for one, its
// dual for two, the number with the plural from three to ten, and with the
// singular (accusative) from eleven on: "ساعة", "ساعتين", "3 ساعات", "11 ساعة".
QString countedText(qint64 n, const char16_t *one, const char16_t *two, const char16_t *few, const char16_t *many);
