#pragma once

#include <QLoggingCategory>

// What the board tells of itself goes to standard error, where the journal
// takes it when the desktop starts the board. Each layer logs in a category
// of its own, "rorizedivo.<layer>": warnings for what a person needs to act
// on, info for what went wrong and mended itself, debug for the rest (off
// unless asked for: QT_LOGGING_RULES="rorizedivo.*.debug=true").
//
// These two belong to the layer under the board: its checks of the feed
// service's port and the services it starts, and the weather store's engine,
// which refuses values its columns do not take.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
