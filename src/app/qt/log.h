#pragma once
// The logging categories of the windows, and the bridge that carries the
// core's log lines (src/log) into them and every category into the log file.
#include <QLoggingCategory>
#include <filesystem>

#include "log/log.h"

Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcNet)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcAccount)

namespace tarnwick::app {

// Routes the core's lines to the Qt category of the same name, and every
// Qt message up to threshold (the core's, the windows' own, Qt's) into the
// program's log file (log::installFileLog). Warnings and errors also reach
// the handler that was installed before (standard error). Returns the file.
std::filesystem::path installLogging(log::Level threshold);

}  // namespace tarnwick::app
