#include "app/ShellLog.h"

// Warnings only unless the logging rules ask for more.
Q_LOGGING_CATEGORY(lcShell, "vesk.shell", QtWarningMsg)
