#pragma once

#include "document/ContentMark.h"
#include "session/LoadedContent.h"
#include "sync/DocumentControllerFailure.h"

#include <QString>

#include <atomic>
#include <optional>

class DocumentService;

// Reading a whole list for a session away from the interface thread, for opening it or reloading it
// from disk: a long list takes a good part of a second to read and parse, and as long again to make
// ready for a session. It touches nothing but its own fields and the file, so the document
// controller reads the answer once it has finished.
struct ListLoad {
    // Given.
    QString path;
    // When opening: the leftovers of saves interrupted in an earlier run are removed first.
    bool removesStaleTemporaryFiles = false;
    // A file that is plain text rather than a task file keeps its text, to be offered for import.
    bool keepsPlainText = false;
    // Set: the plain text the user agreed to import. Its lines become the tasks, written back to
    // path in task form, and nothing is read.
    std::optional<QString> importing;

    // Found: the tasks made ready for the session with the mark of the text that the file holds, or
    // why there are none. A long list's tasks are several times its file: whoever takes the answer
    // in lets them go soon, on the writer's thread.
    std::optional<DocumentControllerFailure> failure;
    std::optional<LoadedContent> content;
    ContentMark mark;
    // With keepsPlainText, when the file is no task file (failure is unreadableAsVesk): its text.
    std::optional<QString> plainText;

    // Set, from the interface thread, once nobody will take the answer in (the opening was cancelled,
    // its document closed, Vesk quits): run stops before its next step, reading, parsing or making
    // the tasks ready, so that whoever waits for the writer does not wait for a whole long list.
    std::atomic<bool> dropped {false};

    void run(const DocumentService& service);
};
