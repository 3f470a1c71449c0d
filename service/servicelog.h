#pragma once

#include <QLoggingCategory>

// Log lines of the feed service (to stderr, which the user unit hands to
// the journal): failures of the upstream and of recording by default; every
// request and fetch with QT_LOGGING_RULES="forecastd.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcForecastd)
