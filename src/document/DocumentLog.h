#pragma once

#include <QLoggingCategory>

// Failures of the document service that the user is not shown in full.
Q_DECLARE_LOGGING_CATEGORY(lcDocument)
