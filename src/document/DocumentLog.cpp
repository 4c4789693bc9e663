#include "document/DocumentLog.h"

Q_LOGGING_CATEGORY(lcDocument, "vesk.document")
