#include "shortcuts/PortalLog.h"

Q_LOGGING_CATEGORY(lcPortal, "vesk.shortcuts.portal")
