#pragma once

#include "document/FileSnapshot.h"
#include "sync/DocumentControllerFailure.h"

#include <QString>

#include <optional>

class DocumentService;

// What a task file holds now (its mark: a long list is not held), and whether it may be written.
struct FileState {
    FileSnapshot snapshot;
    bool writable = false;

    // Reads the file at path; expected, when given, marks what it most likely holds. A missing file
    // or one that is no regular file fails with FileAccessError::missing, one that cannot be read or
    // decoded with unreadable. With lease, the snapshot holds a lease taken before it was read where
    // one can be had (FileSnapshot::takeLease). Any thread.
    static std::optional<DocumentControllerFailure> read(const DocumentService& service, const QString& path,
        FileState& state, const ContentMark* expected = nullptr, bool lease = false);
};
