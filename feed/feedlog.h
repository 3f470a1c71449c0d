#pragma once

#include <QLoggingCategory>

// Feeds that could not be had, and why (platform/logging.h).
Q_DECLARE_LOGGING_CATEGORY(lcFeed)
