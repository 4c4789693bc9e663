#include "document/DocumentLog.h"

// Warnings only unless the logging rules ask for more.
Q_LOGGING_CATEGORY(lcDocument, "vesk.files", QtWarningMsg)
