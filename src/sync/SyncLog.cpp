#include "sync/SyncLog.h"

// Warnings only unless the logging rules ask for more.
Q_LOGGING_CATEGORY(lcSync, "vesk.sync", QtWarningMsg)
