#include "shortcuts/HotKeyLog.h"

// Warnings only unless the logging rules ask for more.
Q_LOGGING_CATEGORY(lcHotKeys, "vesk.hotkeys", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPortal, "vesk.hotkeys.portal", QtWarningMsg)
