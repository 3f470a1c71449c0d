#include "servicelog.h"

Q_LOGGING_CATEGORY(lcForecastd, "forecastd", QtInfoMsg)
