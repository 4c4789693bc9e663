#pragma once

#include <QLoggingCategory>

// Saves that failed, which the user is shown as an alert and the log keeps.
Q_DECLARE_LOGGING_CATEGORY(lcSync)
