#pragma once

#include "cli/ToolOutcome.h"
#include "document/VeskDocument.h"

#include <QString>

#include <functional>
#include <optional>

// One change to a task file from the terminal, made as the application makes its saves: under the
// file's DocumentWriteLock, from the text the file holds at that moment, written through the
// document service's guarded replacement. A file another program rewrites meanwhile is read again
// and the change made anew.
class TaskFileEdit {
public:
    // Gets the file's text; sets replacement to the new text, or leaves it empty to write nothing.
    using TextChange = std::function<ToolOutcome(const QString& text, std::optional<QString>& replacement)>;
    // Gets the parsed task file; returns whether it changed it.
    using DocumentChange = std::function<ToolOutcome(VeskDocument& document, bool& changed)>;

    static ToolOutcome rewrite(const QString& path, const TextChange& change);
    // As rewrite, for task files only: anything else is refused.
    static ToolOutcome edit(const QString& path, const DocumentChange& change);
    // Reads a task file without changing it.
    static ToolOutcome read(const QString& path, VeskDocument& document);

    // The message for a file that is no task file.
    static QString notATaskFile(const QString& path);
};
