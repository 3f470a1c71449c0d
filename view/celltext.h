#pragma once

#include "platform/fieldvalue.h"

#include <QString>

class Recordset;

// How the grid and the detail panel word a stored value. A column without a
// value shows nothing. The store keeps its words in Arabic whatever the
// language; the view says them in the board's language.

// "جيدة" (good) from 10 km on, otherwise the number.
QString visibilityText(const FieldValue &visibility);
// "سكون" (calm) for no wind, otherwise the number.
QString windSpeedText(const FieldValue &speed);

// A condition word as the feed reader stores it ("مشمس"), and a wind
// direction ("شمالية شرقية"), in the board's language; a word the board
// never writes is shown as it is.
QString conditionShown(const QString &storedWord);
QString windShown(const QString &storedWord);

// The city of a row in the board's language: its Arabic name (city_a); in
// English the feed's name for it (city_e), or while the row has none, the
// city's English name by its code.
QString shownCityName(const Recordset &row);
// A city's English name by its code ("RUH": "Riyadh"); empty for a code the
// board does not know.
QString englishCityName(const QString &cityCode);
