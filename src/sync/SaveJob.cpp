#include "sync/SaveJob.h"

#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "document/DocumentWriteLock.h"
#include "document/ReplacedFileWatcher.h"
#include "sync/FileState.h"

void SaveJob::run(const DocumentService& service)
{
    // Made before the lock is taken, so that other writers of the file wait only for the check and
    // the write. Only the bytes are kept: the document and the text go as soon as they are used, so
    // that no two of them for a long list are held at once.
    QString text = serializeDocument(snapshot.document());
    const QByteArray bytes = text.toUtf8();
    text = QString();
    mark = ContentMark::of(bytes);
    for (int attempt = 1;; ++attempt) {
        DocumentService::GuardedWriteOutcome written;
        {
            const DocumentWriteLock lock(path);
            FileState state;
            if (auto problem = FileState::read(service, path, state)) {
                failure = std::move(problem);
                outcome = Outcome::failed;
                return;
            }
            if (!state.writable) {
                failure = FileAccessError::unwritable();
                outcome = Outcome::failed;
                return;
            }
            if (lastSeen && !lastSeen->matches(state.snapshot.bytes())) {
                outcome = Outcome::changedOnDisk;
                return;
            }
            QList<FileSnapshot> replacedNow;
            const auto error
                = service.writeContents(bytes, path, state.snapshot, written, &notKept, &replacedNow);
            // Mostly nobody else has the replaced file open: looked at here, off the interface thread.
            for (const FileSnapshot& file : std::as_const(replacedNow))
                if (!ReplacedFileWatcher::needsNoKeeping(file))
                    replaced.append(file);
            if (error) {
                failure = *error;
                outcome = Outcome::failed;
                return;
            }
        }
        if (written == DocumentService::GuardedWriteOutcome::written) {
            outcome = Outcome::written;
            return;
        }
        if (written == DocumentService::GuardedWriteOutcome::fileChangedFirst && attempt < maxAttempts)
            continue;
        outcome = Outcome::conflict;
        return;
    }
}
