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
    // The replaced file that nobody could write into from before the check read it until it was
    // replaced: it holds what the check read, and needs no second reading.
    int untouchedFd = -1;
    for (int attempt = 1;; ++attempt) {
        DocumentService::GuardedWriteOutcome written;
        {
            const DocumentWriteLock lock(path);
            FileState state;
            // Only a long list is checked under a lease: a program that opens the file for writing
            // meanwhile waits for the save. That is worth it where the lease spares reading and
            // digesting the replaced file again, not for a short one, read and compared with bytes.
            const bool lease = lastSeen && lastSeen->isDigested();
            if (auto problem
                = FileState::read(service, path, state, lastSeen ? &*lastSeen : nullptr, lease)) {
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
            const auto error
                = service.writeContents(bytes, path, state.snapshot, written, &notKept, &replacedNow);
            // Let go before the replaced file is handed on: a lease keeps other programs waiting.
            if (state.snapshot.releaseLease() && !error
                && written == DocumentService::GuardedWriteOutcome::written)
                untouchedFd = state.snapshot.fd();
            if (error) {
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
    // A long list's mark is only a digest: the bytes stay for the first look at the file after the
    // save, which compares with them instead of making another digest. Otherwise they go before
    // replaced files are read back.
    if (outcome == Outcome::written && mark.isDigested())
        written = std::move(bytes);
    bytes = QByteArray();
    // Mostly nobody else has a replaced file open; that is looked at here, off the interface thread
    // and outside the lock, which guards only the name.
    for (const FileSnapshot& file : std::as_const(replacedNow))
        if (file.fd() != untouchedFd && !ReplacedFileWatcher::needsNoKeeping(file))
            replaced.append(file);
}
