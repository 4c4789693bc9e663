#pragma once

#include "document/ContentPieces.h"
#include "document/DocumentContents.h"
#include "document/DocumentError.h"
#include "document/FileSnapshot.h"
#include "document/FileSystemError.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <variant>

// A failure of the document service: one of its own, or one of the operating system's.
using DocumentFailure = std::variant<DocumentError, FileSystemError>;
QString describeFailure(const DocumentFailure& failure);

// The file-facing side of the task document: reads a file (importing plain text with the user's
// consent), makes the contents of a new file from the bundled template, and writes a text so that a
// reader never sees a half-written file. Holds no state: the interface thread and the writer thread
// both call it.
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

    // Shows a modal alert with its buttons in the given order, the first being the default, and
    // returns the index of the chosen button (-1 when closed without a choice). The application
    // answers it with its dialogs; the document layer has no windows of its own.
    using Alert = std::function<int(
        const QString& message, const QString& informativeText, const QStringList& buttons)>;

    // Reads a task file (its contents' text left empty: the document and mark are what is read), or,
    // after asking through alert, imports a plain-text file and rewrites it in task form at once.
    // Leftover temporary files of its interrupted saves are removed.
    std::optional<DocumentFailure> readDocument(
        const QString& path, const Alert& alert, DocumentContents& result) const;
    // The question readDocument asks before it imports a plain-text file: true when the user agrees.
    static bool askToImport(const Alert& alert);
    // The import itself: text's non-empty lines become inbox tasks, written to path in task form.
    // text is what the file held when it was read; if another program has changed the file since
    // (while the user was asked), nothing is written and the import fails with changedBeforeImport.
    std::optional<DocumentFailure> importText(
        const QString& text, const QString& path, DocumentContents& result) const;

    // The document and text of a new file.
    std::optional<DocumentFailure> makeNewFileContents(
        DocumentContents& result, const QString& templatePath = bundledTemplatePath()) const;

    // Replaces the file's content with text, in one step where the folder allows it. A symbolic link
    // is followed and stays a link; a file with several hard links is written in place and stays
    // one file. The new file keeps the old one's mode, owner, group, extended attributes and access
    // control list as far as the user may set them; what could not be kept is named in notKept
    // ("owner", "group", "extended attributes", "access control list"). Succeeds only when the data
    // reached the disk; a failure leaves the old text in the file. Takes the file's
    // DocumentWriteLock; the guarded variant below expects the caller to hold it.
    std::optional<FileSystemError> writeContents(
        const QString& text, const QString& path, QStringList* notKept = nullptr) const;

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
    // before it is replaced, and a write that reaches the replaced file meanwhile is restored. When
    // given, replaced receives the files the write replaced, each with what it is known to hold: a
    // program that still has one open can write into it later (see ReplacedFileWatcher).
    // It takes the text as its UTF-8 bytes.
    std::optional<FileSystemError> writeContents(const QByteArray& bytes, const QString& path,
        const FileSnapshot& checked, GuardedWriteOutcome& outcome, QStringList* notKept = nullptr,
        QList<FileSnapshot>* replaced = nullptr) const;
    // The same for content made a piece at a time, never held whole: the pieces go straight into the
    // new file. Writing in place (see above), or putting back another program's write, makes them
    // again and holds them whole.
    std::optional<FileSystemError> writeContents(const ContentPieces& content, const QString& path,
        const FileSnapshot& checked, GuardedWriteOutcome& outcome, QStringList* notKept = nullptr,
        QList<FileSnapshot>* replaced = nullptr) const;

    // Reads a whole file as UTF-8 (no byte order mark is kept); bytes that are not UTF-8 fail
    // with EILSEQ. When given, mark receives the mark of the file's bytes.
    std::optional<FileSystemError> readText(
        const QString& path, QString& text, ContentMark* mark = nullptr) const;
    enum class SnapshotContent {
        bytes,
        // Only the mark: a long file is read piece by piece and never held whole.
        markOnly,
    };
    // Reads a whole file, checked to be UTF-8 as readText does, keeping the file open in the
    // snapshot together with its mark and, when asked for, its bytes. A mark only is made faster
    // when expected marks what the file most likely holds. With lease, and a mark only, the snapshot
    // holds a read lease taken before the file was read, where one can be had (FileSnapshot::takeLease).
    std::optional<FileSystemError> readSnapshot(const QString& path, FileSnapshot& snapshot,
        SnapshotContent content = SnapshotContent::bytes, const ContentMark* expected = nullptr,
        bool lease = false) const;

    // Removes the temporary files that interrupted saves of the file at path left beside it. Only
    // files that are provably such leftovers go: named for this file with Vesk's mark, holding a
    // whole task file, and not in use by a save still running.
    void removeStaleTemporaryFiles(const QString& path) const;

private:
    std::optional<FileSystemError> write(const ContentPieces& content, const QString& path,
        const FileSnapshot* checked, GuardedWriteOutcome& outcome, QStringList* notKept,
        QList<FileSnapshot>* replaced) const;
};
