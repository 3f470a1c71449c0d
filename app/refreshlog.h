#pragma once

#include <QLoggingCategory>

// The refresh cycle: refreshes that did not run, and how each ended
// (platform/logging.h).
Q_DECLARE_LOGGING_CATEGORY(lcRefresh)
