#include "app/qt/log.h"

Q_LOGGING_CATEGORY(lcApp, "tarnwick.app")
