#include "sync/SaveJob.h"

#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "document/DocumentWriteLock.h"
#include "document/ReplacedFileWatcher.h"
#include "sync/FileState.h"

void SaveJob::run(const DocumentService& service)
{
    // Made before the lock is taken, so that other writers of the file wait only for the check and
    // the write; written straight from the snapshot as UTF-8, so that neither a document nor a
    // UTF-16 text of a long list is ever held beside the bytes.
    const auto section = [this](const ItemIDList& ids) -> SectionTasks {
        return [items = snapshot.itemsByID.pointersTo(ids)](const TaskVisitor& visit) {
            // The tasks lie scattered over the map: each is asked for a few tasks ahead of its turn.
            constexpr std::size_t ahead = 8;
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i + ahead < items.size())
                    __builtin_prefetch(items[i + ahead]);
                if (const SessionItem* item = items[i])
                    visit(item->title, item->note);
            }
        };
    };
    // Sized after the file as last seen, with room for the change: a list rarely grows by more.
    const qsizetype expectedSize = lastSeen ? lastSeen->size() + lastSeen->size() / 64 + 4096 : 0;
    QByteArray bytes = serializeDocumentUtf8(section(snapshot.workingItemIDs), section(snapshot.inboxItemIDs),
        section(snapshot.completedItemIDs), expectedSize);
    mark = ContentMark::of(bytes);
    QList<FileSnapshot> replacedNow;
    for (int attempt = 1;; ++attempt) {
        DocumentService::GuardedWriteOutcome written;
        {
            const DocumentWriteLock lock(path);
            FileState state;
            if (auto problem = FileState::read(service, path, state, lastSeen ? &*lastSeen : nullptr)) {
                failure = std::move(problem);
                outcome = Outcome::failed;
                break;
            }
            if (!state.writable) {
                failure = FileAccessError::unwritable();
                outcome = Outcome::failed;
                break;
            }
            if (lastSeen && *lastSeen != state.snapshot.mark()) {
                outcome = Outcome::changedOnDisk;
                break;
            }
            if (const auto error
                = service.writeContents(bytes, path, state.snapshot, written, &notKept, &replacedNow)) {
                failure = *error;
                outcome = Outcome::failed;
                break;
            }
        }
        if (written == DocumentService::GuardedWriteOutcome::written) {
            outcome = Outcome::written;
            break;
        }
        if (written == DocumentService::GuardedWriteOutcome::fileChangedFirst && attempt < maxAttempts)
            continue;
        outcome = Outcome::conflict;
        break;
    }
    // The bytes are on disk or not wanted any more: they go before replaced files are read back, so
    // that a long list is not held three times. Mostly nobody else has a replaced file open; that is
    // looked at here, off the interface thread and outside the lock, which guards only the name.
    bytes = QByteArray();
    for (const FileSnapshot& file : std::as_const(replacedNow))
        if (!ReplacedFileWatcher::needsNoKeeping(file))
            replaced.append(file);
}
