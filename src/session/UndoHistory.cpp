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

void UndoHistory::record(const SessionSnapshot& before)
{
    m_undo.append(stepOf(before));
    m_redo.clear();
}

std::optional<SessionSnapshot> UndoHistory::undo(const SessionSnapshot& current)
{
    return swap(m_undo, m_redo, current);
}

std::optional<SessionSnapshot> UndoHistory::redo(const SessionSnapshot& current)
{
    return swap(m_redo, m_undo, current);
}

std::optional<SessionSnapshot> UndoHistory::swap(Stack& from, Stack& to, const SessionSnapshot& current)
{
    if (from.isEmpty())
        return std::nullopt;
    const Step step = from.takeLast();
    to.append(stepOf(current));
    return snapshotOf(step);
}

void UndoHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_last = {};
}

UndoHistory::Step UndoHistory::stepOf(const SessionSnapshot& snapshot)
{
    return Step {snapshot.itemsByID,
        {chunked(0, snapshot.workingItemIDs), chunked(1, snapshot.inboxItemIDs),
            chunked(2, snapshot.completedItemIDs)},
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
    return flattened(section, chunks);
}

UndoHistory::ChunkList UndoHistory::chunked(std::size_t section, const QList<QUuid>& ids)
{
    LastSection& last = m_last[section];
    if (ids.isSharedWith(last.ids))
        return last.chunks;

    // Only the stretch that differs from the last list is cut again: the chunks ending before it
    // stay, and after it the cuts fall in step with the last list's once one lands where the last
    // list has one, from where the same ids follow.
    const ListChange change = ListChange::between(last.ids.constData(), last.ids.size(), ids.constData(),
        ids.size(), std::equal_to<QUuid>(), std::numeric_limits<qsizetype>::max());
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
        const auto same = last.byFirstID.constFind(*first);
        if (same != last.byFirstID.cend() && (*same)->ids.size() == length
            && std::memcmp((*same)->ids.constData(), first, sizeof(QUuid) * size_t(length)) == 0) {
            chunks.append(*same);
        } else {
            auto* chunk = new Chunk;
            chunk->ids = QList<QUuid>(first, first + length);
            chunks.append(QExplicitlySharedDataPointer<const Chunk>(chunk));
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
    remember(section, ids, chunks);
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
    last.byFirstID.reserve(chunks.size());
    for (const auto& chunk : chunks)
        last.byFirstID.insert(chunk->ids.first(), chunk);
}
