#pragma once

#include <QLoggingCategory>

// Failures of the document service that the user is not shown in full, and saves that had to take
// a second way (category vesk.files).
Q_DECLARE_LOGGING_CATEGORY(lcDocument)
