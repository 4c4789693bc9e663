#include "sync/SaveJob.h"

#include "document/ContentMarker.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "document/DocumentWriteLock.h"
#include "document/ReplacedFileWatcher.h"
#include "sync/FileState.h"

void SaveJob::run(const DocumentService& service)
{
    // Each task's place in the map is looked up a batch at a time as the text is written: the
    // places of a long list's every task, held at once, would be memory beyond what its session
    // keeps, at the very moment a save needs most.
    const auto section = [this](const ItemIDList& ids) -> SectionTasks {
        return [&items = snapshot.itemsByID, &ids](const TaskVisitor& visit) {
            constexpr qsizetype batch = 2048;
            for (qsizetype from = 0; from < ids.size(); from += batch) {
                const std::vector<const SessionItem*> found = items.pointersTo(ids.mid(from, batch));
                // The tasks lie scattered over the map: each is asked for a few tasks ahead of its turn.
                constexpr std::size_t ahead = 8;
                for (std::size_t i = 0; i < found.size(); ++i) {
                    if (i + ahead < found.size())
                        __builtin_prefetch(found[i + ahead]);
                    if (const SessionItem* item = found[i])
                        visit(item->title, item->note);
                }
            }
        };
    };
    const SectionTasks working = section(snapshot.workingItemIDs);
    const SectionTasks inbox = section(snapshot.inboxItemIDs);
    const SectionTasks completed = section(snapshot.completedItemIDs);
    // The text is written straight from the snapshot into the new file as UTF-8, a piece at a time,
    // and marked on the way: neither a document, a UTF-16 text nor the bytes of a long list are
    // ever held whole. Each write makes it anew, and so marks it anew. A list that was too long for
    // its bytes to be kept in its mark is digested from its start, rather than having its first
    // megabytes kept until it proves too long again: memory a long list's session would keep.
    const bool digestOnly = lastSeen && lastSeen->isDigested();
    std::optional<ContentMarker> marker;
    const ContentPieces content = [&](const PieceSink& sink) {
        marker.emplace(digestOnly ? 0 : ContentMark::keptBytesLimit);
        return writeDocumentUtf8(working, inbox, completed, [&](QByteArrayView piece) {
            marker->add(piece);
            return sink(piece);
        });
    };
    // The mark of the text written, as ContentMark::of makes it: a list that has become short enough
    // for its bytes to be the mark is made once more into it.
    const auto markWritten = [&] {
        ContentMark made = marker->finish();
        if (made.isDigested() && made.size() <= ContentMark::keptBytesLimit) {
            ContentMarker exact;
            writeDocumentUtf8(working, inbox, completed, [&exact](QByteArrayView piece) {
                exact.add(piece);
                return 0;
            });
            made = exact.finish();
        }
        return made;
    };
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
                = service.writeContents(content, path, state.snapshot, written, &notKept, &replacedNow);
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
            mark = markWritten();
            break;
        }
        if (written == DocumentService::GuardedWriteOutcome::fileChangedFirst && attempt < maxAttempts)
            continue;
        outcome = Outcome::conflict;
        break;
    }
    // Mostly nobody else has a replaced file open; that is looked at here, off the interface thread
    // and outside the lock, which guards only the name.
    for (const FileSnapshot& file : std::as_const(replacedNow))
        if (file.fd() != untouchedFd && !ReplacedFileWatcher::needsNoKeeping(file))
            replaced.append(file);
}
