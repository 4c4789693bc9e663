#pragma once

#include "document/ContentMark.h"
#include "sync/DocumentControllerFailure.h"

#include <QByteArray>
#include <QString>

#include <optional>

class DocumentService;

// One look at whether a task file still holds what the document last saw, run away from the
// interface thread: a long list takes a good part of a second to read and digest. It touches
// nothing but its own fields and the file, so the document controller reads the answer once it
// has finished.
struct FileCheck {
    // Given.
    QString path;
    // Marks what the document last read from or wrote to the file; unset: none yet, and whatever
    // the file holds counts as the same.
    std::optional<ContentMark> expected;
    // The bytes that expected marks, when they are still here: compared as they are, with no digest.
    QByteArray written;

    // Found.
    // Why the file could not be read: gone, no regular file, unreadable.
    std::optional<DocumentControllerFailure> failure;
    // The file was read and holds what expected marks.
    bool same = false;

    void run(const DocumentService& service);
};
