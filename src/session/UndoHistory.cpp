#include "session/UndoHistory.h"

#include "session/ListChange.h"

#include <cstring>
#include <functional>
#include <limits>

namespace {

// An id ends its chunk when these bits of its mixed value are zero: 128 ids a chunk on average.
constexpr quint64 chunkEndMask = 127;
// A bound for ids that are not random.
constexpr qsizetype maximumChunkSize = 1024;

bool endsChunk(const QUuid& id)
{
    quint64 tail;
    std::memcpy(&tail, id.data4, sizeof tail);
    const quint64 folded = (quint64(id.data1) << 32 | quint64(id.data2) << 16 | id.data3) ^ tail;
    return ((folded * 0xC2B2AE3D27D4EB4Full) >> 40 & chunkEndMask) == 0;
}

} // namespace

void UndoHistory::record(const SessionSnapshot& before, const KnownChanges& known)
{
    m_undo.append(stepOf(before, known));
    m_redo.clear();
    // Only an undo comes back to the list seen before the last one; until then it is not kept.
    m_previous = {};
}

std::optional<SessionSnapshot> UndoHistory::undo(const SessionSnapshot& current, const KnownChanges& known)
{
    return swap(m_undo, m_redo, current, known);
}

std::optional<SessionSnapshot> UndoHistory::redo(const SessionSnapshot& current, const KnownChanges& known)
{
    return swap(m_redo, m_undo, current, known);
}

std::optional<SessionSnapshot> UndoHistory::swap(
    Stack& from, Stack& to, const SessionSnapshot& current, const KnownChanges& known)
{
    m_restoredChanges = {};
    if (from.isEmpty())
        return std::nullopt;
    const Step step = from.takeLast();
    to.append(stepOf(current, known));
    return snapshotOf(step);
}

void UndoHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_last = {};
    m_previous = {};
    m_restoredChanges = {};
}

UndoHistory::Step UndoHistory::stepOf(const SessionSnapshot& snapshot, const KnownChanges& known)
{
    return Step {snapshot.itemsByID,
        {chunked(0, snapshot.workingItemIDs, known[0]), chunked(1, snapshot.inboxItemIDs, known[1]),
            chunked(2, snapshot.completedItemIDs, known[2])},
        snapshot.inputDraft, snapshot.isCreatingNewItem, snapshot.selection, snapshot.inlineEditState};
}

SessionSnapshot UndoHistory::snapshotOf(const Step& step)
{
    return SessionSnapshot {step.itemsByID, restored(0, step.sections[0]), restored(1, step.sections[1]),
        restored(2, step.sections[2]), step.inputDraft, step.isCreatingNewItem, step.selection,
        step.inlineEditState};
}

QList<QUuid> UndoHistory::restored(std::size_t section, const ChunkList& chunks)
{
    // The last list seen is the current one (swap chunks it first): a section the step leaves as it
    // is comes back as that very list, so that whoever holds it sees at once it did not change.
    const LastSection& last = m_last[section];
    if (chunks == last.chunks)
        return last.ids;
    // How the restored list differs from the current one: outside the chunks the two do not share,
    // nothing; inside, compared item by item.
    const ChunkList& now = last.chunks;
    qsizetype firstChunk = 0;
    qsizetype prefix = 0;
    while (
        firstChunk < chunks.size() && firstChunk < now.size() && chunks.at(firstChunk) == now.at(firstChunk))
        prefix += chunks.at(firstChunk++)->ids.size();
    qsizetype suffix = 0;
    for (qsizetype a = now.size() - 1, b = chunks.size() - 1;
         a >= firstChunk && b >= firstChunk && now.at(a) == chunks.at(b); --a, --b)
        suffix += now.at(a)->ids.size();
    const QList<QUuid> currentIDs = last.ids;
    // Going back to the list seen before this one (undoing the last command, or redoing what was just
    // undone) takes that list itself rather than laying its chunks out again.
    QList<QUuid> ids;
    if (chunks == m_previous[section].chunks) {
        ids = m_previous[section].ids;
        std::swap(m_last[section], m_previous[section]);
    } else {
        m_previous[section] = m_last[section];
        ids = flattened(section, chunks);
    }
    ListChange change
        = ListChange::between(currentIDs.constData() + prefix, currentIDs.size() - prefix - suffix,
            ids.constData() + prefix, ids.size() - prefix - suffix, std::equal_to<QUuid>(), 1);
    change.prefix += prefix;
    m_restoredChanges[section] = change;
    return ids;
}

UndoHistory::ChunkList UndoHistory::chunked(
    std::size_t section, const QList<QUuid>& ids, const std::optional<KnownListChange>& known)
{
    LastSection& last = m_last[section];
    if (ids.isSharedWith(last.ids))
        return last.chunks;

    // Only the stretch that differs from the last list is cut again: the chunks ending before it
    // stay, and after it the cuts fall in step with the last list's once one lands where the last
    // list has one, from where the same ids follow.
    m_previous[section] = last;
    const ListChange change = known && known->leads(last.ids, ids)
        ? known->change
        : ListChange::between(last.ids.constData(), last.ids.size(), ids.constData(), ids.size(),
            std::equal_to<QUuid>(), std::numeric_limits<qsizetype>::max());
    const qsizetype commonEnd = change.prefix + change.inserted;
    const qsizetype shift = ids.size() - last.ids.size();
    ChunkList chunks;
    qsizetype old = 0; // the last list's chunk starting at oldStart
    qsizetype oldStart = 0;
    while (old < last.chunks.size() && oldStart + last.chunks.at(old)->ids.size() <= change.prefix)
        oldStart += last.chunks.at(old++)->ids.size();
    chunks.append(last.chunks.mid(0, old));

    qsizetype start = oldStart;
    const auto close = [&](qsizetype end) {
        const qsizetype length = end - start;
        const QUuid* first = ids.constData() + start;
        if (!last.indexed) {
            last.byFirstID.clear();
            last.byFirstID.reserve(last.chunks.size());
            for (const auto& chunk : last.chunks)
                last.byFirstID.insert(chunk->ids.first(), chunk);
            last.indexed = true;
        }
        const auto same = last.byFirstID.constFind(*first);
        if (same != last.byFirstID.cend() && (*same)->ids.size() == length
            && std::memcmp((*same)->ids.constData(), first, sizeof(QUuid) * size_t(length)) == 0) {
            chunks.append(*same);
        } else {
            auto* chunk = new Chunk;
            chunk->ids = QList<QUuid>(first, first + length);
            chunks.append(QExplicitlySharedDataPointer<const Chunk>(chunk));
            // Entries of chunks no longer listed may stay: a chunk is taken only when its ids match.
            last.byFirstID.insert(*first, chunks.last());
        }
        start = end;
    };
    for (qsizetype i = start; i < ids.size(); ++i) {
        if (!endsChunk(ids.at(i)) && i + 1 - start < maximumChunkSize)
            continue;
        close(i + 1);
        if (start < commonEnd)
            continue;
        while (old < last.chunks.size() && oldStart < start - shift)
            oldStart += last.chunks.at(old++)->ids.size();
        if (oldStart == start - shift) {
            chunks.append(last.chunks.mid(old));
            start = ids.size();
            break;
        }
    }
    if (start < ids.size())
        close(ids.size());
    last.ids = ids;
    last.chunks = chunks;
    if (last.byFirstID.size() > chunks.size() + 64) {
        last.byFirstID.clear();
        last.indexed = false;
    }
    return chunks;
}

QList<QUuid> UndoHistory::flattened(std::size_t section, const ChunkList& chunks)
{
    qsizetype size = 0;
    for (const auto& chunk : chunks)
        size += chunk->ids.size();
    QList<QUuid> ids;
    ids.reserve(size);
    for (const auto& chunk : chunks)
        ids.append(chunk->ids);
    remember(section, ids, chunks);
    return ids;
}

void UndoHistory::remember(std::size_t section, const QList<QUuid>& ids, const ChunkList& chunks)
{
    LastSection& last = m_last[section];
    last.ids = ids;
    last.chunks = chunks;
    last.byFirstID.clear();
    last.indexed = false;
}
