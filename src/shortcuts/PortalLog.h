#pragma once

#include <QLoggingCategory>

// Failures of the desktop portal's global shortcuts, which leave the hot key without keys.
Q_DECLARE_LOGGING_CATEGORY(lcPortal)
