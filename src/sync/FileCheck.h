#pragma once

#include "document/ContentMark.h"
#include "session/LoadedContent.h"
#include "sync/DocumentControllerFailure.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>

class DocumentService;

// One look at whether a task file still holds what the document last saw, run away from the
// interface thread: a long list takes a good part of a second to read and digest, and as long again
// to parse when it changed. It touches nothing but its own fields and the file, so the document
// controller reads the answer once it has finished.
struct FileCheck {
    // Given.
    QString path;
    // Marks what the document last read from or wrote to the file; unset: none yet, and whatever
    // the file holds counts as the same.
    std::optional<ContentMark> expected;
    // A file found changed is also read as a task file, so that reloading it only loads its tasks.
    bool readsChange = false;

    // Found.
    // Why the file could not be read: gone, no regular file, unreadable.
    std::optional<DocumentControllerFailure> failure;
    // The file was read and holds what expected marks.
    bool same = false;
    // With readsChange, when the file was read and is not the same: its tasks made ready for the
    // session and the mark of the text they came from, or why it could not be read as a task file. A
    // long list's tasks are several times its file: whoever takes the answer in lets them go soon,
    // on the writer's thread.
    std::optional<LoadedContent> change;
    ContentMark changeMark;
    std::optional<DocumentControllerFailure> changeFailure;

    // True once run has begun to read the file: a change made before that is seen by this check.
    bool hasBegunReading() const { return m_begunReading.load(); }

    void run(const DocumentService& service);

private:
    std::atomic<bool> m_begunReading {false};
};
