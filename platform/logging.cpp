#include "platform/logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "rorizedivo.platform", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStore, "rorizedivo.store", QtInfoMsg)
