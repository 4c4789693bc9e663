#include "panel/TaskRowTable.h"

#include <bit>

TaskRowTable::LeafOrder::LeafOrder(const ChunkedList<RenderedRow>& rows) : m_holds(true)
{
    for (qsizetype chunk = 0; chunk < rows.chunkCount() && m_holds; ++chunk)
        m_holds = !rows.isOwned(chunk) && !rows.isRepeated(chunk);
    if (m_holds) {
        m_firstLeaves.reserve(size_t(rows.chunkCount()));
        m_lastLeaves.reserve(size_t(rows.chunkCount()));
    }
}

void TaskRowTable::adopt(const ChunkedList<RenderedRow>& rows, LeafOrder order)
{
    Q_ASSERT(order.holds() && qsizetype(order.m_lastLeaves.size()) == rows.chunkCount());
    m_sortedRows = rows;
    m_firstLeaves = std::move(order.m_firstLeaves);
    m_lastLeaves = std::move(order.m_lastLeaves);
    m_built = true;
}

void TaskRowTable::build(const ChunkedList<RenderedRow>& rows)
{
    LeafOrder order(rows);
    for (qsizetype chunk = 0; chunk < rows.chunkCount() && order.holds(); ++chunk) {
        order.startChunk();
        for (const RenderedRow& row : rows.chunk(chunk))
            order.note(row);
        order.endChunk();
    }
    if (order.holds()) {
        adopt(rows, std::move(order));
        return;
    }
    m_sortedRows.clear();
    m_built = true;
    // At most half full, so that a task is found within a slot or two of its own.
    const size_t size = std::max<size_t>(16, std::bit_ceil(size_t(rows.size()) * 2));
    // The memory of the last table is written again (a list reloaded most often is about as long),
    // rather than new memory taken page by page; much more than needed is let go.
    if (m_slots.capacity() >= size && m_slots.capacity() <= 4 * size)
        m_slots.assign(size, 0);
    else
        std::vector<quint64>(size, 0).swap(m_slots);
    m_built = true;
    m_shift = 64 - std::countr_zero(size);
    qsizetype row = 0;
    for (qsizetype chunk = 0; chunk < rows.chunkCount(); ++chunk) {
        for (const RenderedRow& placed : rows.chunk(chunk)) {
            if (placed.kind == RenderedRow::Kind::task) {
                const quint64 mixed = mix(placed.itemID);
                size_t slot = size_t(mixed >> m_shift);
                while (m_slots[slot] != 0)
                    slot = (slot + 1) & (size - 1);
                m_slots[slot] = tagOf(mixed) | quint64(row + 1);
            }
            ++row;
        }
    }
}
