#pragma once

#include "document/DocumentError.h"
#include "document/FileSystemError.h"
#include "sync/FileAccessError.h"

#include <QString>

#include <variant>

// A failure of the document controller's file operations.
using DocumentControllerFailure = std::variant<FileAccessError, DocumentError, FileSystemError>;
QString describeFailure(const DocumentControllerFailure& failure);
