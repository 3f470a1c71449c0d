#pragma once

#include "platform/fieldvalue.h"

#include <QString>

// How the grid and the detail panel word a stored number. A column without a
// value shows nothing.

// "جيدة" (good) from 10 km on, otherwise the number.
QString visibilityText(const FieldValue &visibility);
// "سكون" (calm) for no wind, otherwise the number.
QString windSpeedText(const FieldValue &speed);
