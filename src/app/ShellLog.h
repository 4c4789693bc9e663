#pragma once

#include <QLoggingCategory>

// The application shell: requests from other launches that were dropped, and stored settings that
// could not be read back.
Q_DECLARE_LOGGING_CATEGORY(lcShell)
