#pragma once

#include "panel/ChunkedList.h"
#include "session/RenderedRow.h"

#include <QUuid>

#include <cstring>
#include <vector>

// Where each task row of a list was when the table was made: an open-addressed table of row
// numbers, eight bytes a task, made in one pass over the rows. A task is placed by the same mixing
// of its id's bits as the item map's leaves (SessionItemMap::leafIndex), so the tasks of a list
// loaded at once (whose ids lie in the leaves in list order) fill the table front to back, and
// making it for millions of rows writes memory in order rather than all over. The rows move on
// after it is made: the owner follows each row found to where it is now and checks it.
class TaskRowTable {
public:
    bool isEmpty() const { return m_slots.empty(); }
    void clear() { m_slots = {}; }
    // The table of the task rows among rows.
    void build(const ChunkedList<RenderedRow>& rows);
    // Calls isRow(row) with each row noted for a task whose id may be id, in turn, until it answers
    // true; that row, or -1.
    template <typename IsRow>
    qsizetype find(const QUuid& id, IsRow&& isRow) const
    {
        if (m_slots.empty())
            return -1;
        const quint64 mixed = mix(id);
        const quint64 tag = tagOf(mixed);
        for (size_t slot = size_t(mixed >> m_shift);; slot = (slot + 1) & (m_slots.size() - 1)) {
            const quint64 entry = m_slots[slot];
            if (entry == 0)
                return -1;
            if ((entry & tagMask) == tag && isRow(qsizetype(entry & rowMask) - 1))
                return qsizetype(entry & rowMask) - 1;
        }
    }

private:
    static constexpr quint64 rowMask = 0xFFFFFFFFu;
    static constexpr quint64 tagMask = ~rowMask;
    static quint64 mix(const QUuid& id)
    {
        quint64 tail;
        std::memcpy(&tail, id.data4, sizeof tail);
        const quint64 folded = (quint64(id.data1) << 32 | quint64(id.data2) << 16 | id.data3) ^ tail;
        return folded * 0x9E3779B97F4A7C15ull;
    }
    // Bits of the mixed id other than those that choose its slot (up to 32 of them), kept beside the
    // row so that most rows of other tasks are passed over without reading them.
    static quint64 tagOf(quint64 mixed) { return (mixed << 24) & tagMask; }

    std::vector<quint64> m_slots; // tag | row + 1; 0 is an empty slot
    int m_shift = 64;
};
