#pragma once

#include "document/DocumentError.h"
#include "document/DocumentService.h"
#include "document/FileSystemError.h"
#include "sync/FileAccessError.h"

#include <QString>

#include <variant>

// A failure of the document controller's file operations.
using DocumentControllerFailure = std::variant<FileAccessError, DocumentError, FileSystemError>;
QString describeFailure(const DocumentControllerFailure& failure);
// The document service's failure as the controller reports it.
DocumentControllerFailure fromDocumentFailure(const DocumentFailure& failure);
