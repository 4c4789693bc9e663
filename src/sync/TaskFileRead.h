#pragma once

#include "document/DocumentContents.h"
#include "sync/DocumentControllerFailure.h"

#include <QString>

#include <atomic>
#include <optional>

class DocumentService;

// Reads and parses the task file at path: a read failure, or FileAccessError::unreadableAsVesk when
// the text is no task file (its text then goes to plainText, when given, to be offered for import).
// The contents come without their text, which is let go of here. Touches nothing but the file and
// its arguments, so any thread may call it. When dropped is set by the time the file is read, its
// bytes are not parsed, and when it is set while they are, the parse gives up within a few thousand
// lines: nothing is returned, and the contents stay empty.
std::optional<DocumentControllerFailure> readTaskFile(const DocumentService& service, const QString& path,
    DocumentContents& contents, QString* plainText = nullptr, const std::atomic<bool>* dropped = nullptr);
