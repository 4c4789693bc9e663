#pragma once

#include <QString>

// The document service's own failures. Each description is what the user reads.
enum class DocumentError {
    unsupportedFileType,
    importDeclined,
    missingBundledTemplate,
    // Another program changed a plain-text file while the user was asked whether to import it.
    changedBeforeImport,
};

QString documentErrorDescription(DocumentError error);
