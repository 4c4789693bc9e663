#pragma once

#include "document/ContentMark.h"
#include "document/FileSnapshot.h"
#include "session/CommittedSnapshot.h"
#include "sync/DocumentControllerFailure.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DocumentService;

// One save of a committed change, run away from the interface thread: turns the snapshot into the
// file's text and replaces the file, holding the file's DocumentWriteLock from the check that the
// file still holds what the document last saw until the file is replaced. It touches nothing but its
// own fields and the file, so the document controller can read the outcome once it has finished.
struct SaveJob {
    // A save that finds the file changed between its check and the replacement checks again; after
    // this many tries another program is taken to be writing the file.
    static constexpr int maxAttempts = 3;

    enum class Outcome {
        // The text is on disk.
        written,
        // The file no longer holds what lastSeen marks; nothing was written.
        changedOnDisk,
        // Another program wrote the file during every attempt; its text is on disk, ours is not.
        conflict,
        // failure says why; nothing was written.
        failed,
    };

    // Given.
    QString path;
    CommittedSnapshot snapshot;
    // Marks what the document last read from or wrote to the file; unset: none yet.
    std::optional<ContentMark> lastSeen;

    // Found.
    Outcome outcome = Outcome::failed;
    std::optional<DocumentControllerFailure> failure;
    // Marks the text written.
    ContentMark mark;
    // What the replaced file carried and the new one could not keep.
    QStringList notKept;
    // The files the save replaced, for ReplacedFileWatcher.
    QList<FileSnapshot> replaced;

    void run(const DocumentService& service);
};
