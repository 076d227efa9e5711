#pragma once
// The logging category of the application shell.
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcApp)
