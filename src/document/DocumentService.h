#pragma once

#include "DocumentContents.h"
#include "DocumentError.h"
#include "FileSnapshot.h"
#include "FileSystemError.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

class DialogPresenter;

// A failure of the document service: one of its own, or one of the operating system's.
using DocumentFailure = std::variant<DocumentError, FileSystemError>;
QString describeFailure(const DocumentFailure& failure);

// The file-facing side of the task document: reads a file (importing plain text with the user's
// consent), makes the contents of a new file from the bundled template, and writes a text so that a
// reader never sees a half-written file. Holds no state; main thread.
class DocumentService {
public:
    // The exported document type: a freedesktop MIME type that is a kind of text/plain.
    static QString veskMimeType() { return QStringLiteral("application/x-vesk"); }
    static QString veskFileSuffix() { return QStringLiteral("vesk"); }
    // Dialog filters: the open panel accepts task files and plain text, the save panel task files.
    static QStringList openFileFilters();
    static QStringList saveFileFilters();
    // The template compiled into the program.
    static QString bundledTemplatePath() { return QStringLiteral(":/new.vesk"); }

    // Reads a task file, or, after asking through dialogs, imports a plain-text file and rewrites it
    // in task form at once. Leftover temporary files of interrupted saves in its folder are removed.
    std::optional<DocumentFailure> readDocument(
        const QString& path, DialogPresenter& dialogs, DocumentContents& result) const;

    // The document and text of a new file.
    std::optional<DocumentFailure> makeNewFileContents(
        DocumentContents& result, const QString& templatePath = bundledTemplatePath()) const;

    // Replaces the file's content with text, in one step where the folder allows it. A symbolic link
    // is followed and stays a link; the replaced file keeps its permissions (and owner and group as
    // far as the user may set them). Succeeds only when the data reached the disk.
    std::optional<FileSystemError> writeContents(const QString& text, const QString& path) const;

    enum class GuardedWriteOutcome {
        // The text is on disk.
        written,
        // The file changed after it was checked; nothing was written.
        fileChangedFirst,
        // Another program wrote into the file while it was being replaced: its text was put back on
        // disk, and the given text is not there.
        foreignWriteRestored,
    };
    // writeContents for a file whose content was checked as checked: the file is re-checked just
    // before it is replaced, and a write that still reaches the replaced file is restored.
    std::optional<FileSystemError> writeContents(const QString& text, const QString& path,
        const FileSnapshot& checked, GuardedWriteOutcome& outcome) const;

    // Reads a whole file as UTF-8 (no byte order mark is kept); bytes that are not UTF-8 fail
    // with EILSEQ.
    std::optional<FileSystemError> readText(const QString& path, QString& text) const;
    // readText, keeping the file open in the snapshot.
    std::optional<FileSystemError> readSnapshot(const QString& path, FileSnapshot& snapshot) const;

    // Removes temporary files that a save in this folder left behind when it was interrupted; those
    // of saves still running are kept.
    void removeStaleTemporaryFiles(const QString& folder) const;
    // Whether name is the name of such a temporary file: ".", a UUID and ".tmp".
    static bool isTemporaryFileName(const QString& name);

private:
    std::optional<FileSystemError> write(const QString& text, const QString& path,
        const FileSnapshot* checked, GuardedWriteOutcome& outcome) const;
};
