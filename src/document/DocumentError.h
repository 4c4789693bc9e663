#pragma once

#include <QString>

// The document service's own failures. Each description is what the user reads.
enum class DocumentError {
    unsupportedFileType,
    importDeclined,
    missingBundledTemplate,
};

QString documentErrorDescription(DocumentError error);
