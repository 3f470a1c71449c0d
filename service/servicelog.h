#pragma once

#include <QLoggingCategory>
#include <QString>

// Log lines of the feed service (to stderr, which systemd hands to the
// journal): failures of the upstream and of recording by default; every
// request and fetch with QT_LOGGING_RULES="forecastd.debug=true". Lines
// the administrator must act on (settings, the ledger) are critical, the
// upstream's failures warnings, the service's comings and goings info.
Q_DECLARE_LOGGING_CATEGORY(lcForecastd)

// The text with the value of every apikey parameter (of an address, in any
// case) replaced by "***": an address with a key may come into a line from
// the settings or from a network error.
QString maskSecrets(const QString &text);

// Masks every message before the handler in force (Qt's own, or one that
// writes for the journal) writes it. Install it after that handler.
void installSecretMasking();
