#pragma once

#include "panel/ChunkedList.h"
#include "session/RenderedRow.h"

#include <QUuid>

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

// Where each task row of a list was when the table was made: an open-addressed table of row
// numbers, eight bytes a task, made in one pass over the rows. A task is placed by the same mixing
// of its id's bits as the item map's leaves (SessionItemMap::leafIndex), so the tasks of a list
// loaded at once (whose ids lie in the leaves in list order) fill the table front to back, and
// making it for millions of rows writes memory in order rather than all over. The rows move on
// after it is made: the owner follows each row found to where it is now and checks it.
class TaskRowTable {
public:
    // Whether rows, read once in order, lie in the order of their ids' leaves, and where each chunk
    // of them starts and ends in that order: what the table of such rows is (see adopt). Told the
    // rows chunk by chunk, so that a pass over the rows made for another purpose makes it.
    class LeafOrder {
    public:
        // Rows not shared with their list (copied chunks) are not kept this way: it never holds.
        explicit LeafOrder(const ChunkedList<RenderedRow>& rows);
        // One that never holds.
        LeafOrder() : m_holds(false) { }
        // The order found where the rows were made, chunk by chunk (RowOutline).
        static LeafOrder known(std::vector<quint16> firstLeaves, std::vector<quint16> lastLeaves)
        {
            LeafOrder order;
            order.m_holds = true;
            order.m_firstLeaves = std::move(firstLeaves);
            order.m_lastLeaves = std::move(lastLeaves);
            return order;
        }
        bool holds() const { return m_holds; }
        void startChunk()
        {
            if (!m_holds)
                return;
            m_firstLeaves.push_back(m_last);
            m_startsWithTask = true;
        }
        void note(const RenderedRow& row)
        {
            if (!m_holds || row.kind != RenderedRow::Kind::task)
                return;
            const quint16 leaf = quint16(mix(row.itemID) >> leafShift);
            m_holds = leaf >= m_last;
            if (m_startsWithTask)
                m_firstLeaves.back() = leaf;
            m_startsWithTask = false;
            m_last = leaf;
        }
        void endChunk()
        {
            if (m_holds)
                m_lastLeaves.push_back(m_last);
        }

    private:
        friend class TaskRowTable;
        bool m_holds;
        bool m_startsWithTask = false;
        quint16 m_last = 0;
        std::vector<quint16> m_firstLeaves;
        std::vector<quint16> m_lastLeaves;
    };

    bool isEmpty() const { return !m_built; }
    // Whether the table is the rows themselves (made in leaf order), so that a copy costs little.
    bool sharesRows() const { return m_built && !m_sortedRows.isEmpty(); }
    // Empties the table; its memory is kept for the next build, which will most often need as much.
    void clear()
    {
        m_built = false;
        m_sortedRows.clear();
    }
    // The rows the table holds (see buildSorted), to be freed elsewhere; the table is empty after.
    ChunkedList<RenderedRow> takeRows()
    {
        m_built = false;
        return std::exchange(m_sortedRows, {});
    }
    // The table of the task rows among rows.
    void build(const ChunkedList<RenderedRow>& rows);
    // The table of rows found in leaf order (order.holds()): the rows shared, nothing per row made.
    void adopt(const ChunkedList<RenderedRow>& rows, LeafOrder order);
    // Calls isRow(row) with each row noted for a task whose id may be id, in turn, until it answers
    // true; that row, or -1.
    template <typename IsRow>
    qsizetype find(const QUuid& id, IsRow&& isRow) const
    {
        if (!m_built)
            return -1;
        const quint64 mixed = mix(id);
        if (!m_sortedRows.isEmpty())
            return findSorted(id, quint16(mixed >> leafShift), isRow);
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
    // The rows of a list loaded at once are in the order of their ids' leaves: the table is then
    // the rows themselves (shared, not copied) and the range of leaves in each chunk of them, made in
    // one pass that writes nothing per row. A task is looked for in the chunks that hold its leaf.
    static constexpr int leafShift = 64 - 12;
    template <typename IsRow>
    qsizetype findSorted(const QUuid& id, quint16 leaf, IsRow&& isRow) const
    {
        // The chunks whose last leaf is at least the task's, as long as their first is at most it.
        const auto from = std::lower_bound(m_lastLeaves.begin(), m_lastLeaves.end(), leaf);
        for (auto chunk = size_t(from - m_lastLeaves.begin());
             chunk < m_firstLeaves.size() && m_firstLeaves[chunk] <= leaf; ++chunk) {
            const std::span<const RenderedRow> rows = m_sortedRows.chunk(qsizetype(chunk));
            for (size_t i = 0; i < rows.size(); ++i) {
                if (rows[i].itemID == id && rows[i].kind == RenderedRow::Kind::task
                    && isRow(m_sortedRows.chunkStart(qsizetype(chunk)) + qsizetype(i)))
                    return m_sortedRows.chunkStart(qsizetype(chunk)) + qsizetype(i);
            }
        }
        return -1;
    }

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
    bool m_built = false;
    // When the rows were in leaf order: the rows, and the first and last leaf of each chunk's tasks
    // (a chunk without tasks takes its neighbours' bounds, so that both lists stay in order).
    ChunkedList<RenderedRow> m_sortedRows;
    std::vector<quint16> m_firstLeaves;
    std::vector<quint16> m_lastLeaves;
};
