#include "panel/TaskRowTable.h"

#include <bit>

void TaskRowTable::build(const ChunkedList<RenderedRow>& rows)
{
    // At most half full, so that a task is found within a slot or two of its own.
    const size_t size = std::max<size_t>(16, std::bit_ceil(size_t(rows.size()) * 2));
    m_slots.assign(size, 0);
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
