#pragma once

#include <QLoggingCategory>

// The browser found, and addresses that could not be opened (platform/logging.h).
Q_DECLARE_LOGGING_CATEGORY(lcLinks)
