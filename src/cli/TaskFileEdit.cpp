#include "cli/TaskFileEdit.h"

#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "document/DocumentWriteLock.h"
#include "document/FileMetadata.h"

#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

// A program that keeps rewriting the file between our read and our replacement wins after this many
// tries; the file then keeps its text.
constexpr int maxAttempts = 5;

} // namespace

QString TaskFileEdit::notATaskFile(const QString& path)
{
    return QStringLiteral("“%1” is not a Vesk task file (it has no two lines \"---\"); "
                          "'vesk import %2' turns it into one")
        .arg(QFileInfo(path).fileName(), path);
}

ToolOutcome TaskFileEdit::read(const QString& path, VeskDocument& document)
{
    QString text;
    if (const auto error = DocumentService().readText(path, text))
        return ToolOutcome::failed(error->description());
    if (!isVeskDocument(text))
        return ToolOutcome::failed(notATaskFile(path));
    document = parseDocument(text);
    return ToolOutcome::done();
}

ToolOutcome TaskFileEdit::rewrite(const QString& path, const TextChange& change)
{
    const DocumentService service;
    for (int attempt = 1;; ++attempt) {
        const DocumentWriteLock lock(path);
        FileSnapshot checked;
        if (const auto error = service.readSnapshot(path, checked))
            return ToolOutcome::failed(error->description());
        // A file its owner made read-only is not replaced behind its back, as the window does not.
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0 && errno == EACCES) {
            return ToolOutcome::failed(
                FileSystemError::fromErrno(FileSystemError::Operation::write, path, EACCES).description());
        }
        std::optional<QString> replacement;
        ToolOutcome outcome = change(checked.text(), replacement);
        if (outcome.status != ToolOutcome::success || !replacement)
            return outcome;
        DocumentService::GuardedWriteOutcome written;
        QStringList notKept;
        if (const auto error = service.writeContents(replacement->toUtf8(), path, checked, written, &notKept))
            return ToolOutcome::failed(error->description());
        if (written == DocumentService::GuardedWriteOutcome::written) {
            if (!notKept.isEmpty())
                outcome.error += QStringLiteral("vesk: %1: %2\n")
                                     .arg(QFileInfo(path).fileName(), FileMetadata::describeNotKept(notKept));
            return outcome;
        }
        if (attempt == maxAttempts) {
            return ToolOutcome::failed(
                QStringLiteral("“%1” kept changing while it was being written; nothing was changed")
                    .arg(QFileInfo(path).fileName()));
        }
    }
}

ToolOutcome TaskFileEdit::edit(const QString& path, const DocumentChange& change)
{
    return rewrite(path, [&](const QString& text, std::optional<QString>& replacement) {
        if (!isVeskDocument(text))
            return ToolOutcome::failed(notATaskFile(path));
        VeskDocument document = parseDocument(text);
        bool changed = false;
        ToolOutcome outcome = change(document, changed);
        if (changed)
            replacement = serializeDocument(document);
        return outcome;
    });
}
