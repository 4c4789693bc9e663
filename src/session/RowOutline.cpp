#include "session/RowOutline.h"

#include "session/SessionItemMap.h"

#include <algorithm>

RowOutline RowOutline::of(const QList<RenderedRow>& rows)
{
    RowOutline outline;
    outline.m_rowCount = rows.size();
    const qsizetype chunks = (rows.size() + chunkRows - 1) / chunkRows;
    outline.m_firstLeaves.reserve(size_t(chunks));
    outline.m_lastLeaves.reserve(size_t(chunks));
    quint16 last = 0;
    for (qsizetype from = 0; from < rows.size(); from += chunkRows) {
        const qsizetype to = std::min(rows.size(), from + chunkRows);
        quint16 first = last;
        bool startsWithTask = true;
        for (qsizetype i = from; i < to; ++i) {
            const RenderedRow& row = rows[i];
            const bool task = row.kind == RenderedRow::Kind::task;
            if (task && !outline.m_stretches.empty() && outline.m_stretches.back().kind == row.kind
                && outline.m_stretches.back().section == row.section)
                ++outline.m_stretches.back().count;
            else
                outline.m_stretches.push_back(Stretch {i, 1, row.kind, row.section});
            if (!task || !outline.m_inLeafOrder)
                continue;
            const auto leaf = quint16(SessionItemMap::leafIndex(row.itemID));
            outline.m_inLeafOrder = leaf >= last;
            if (startsWithTask)
                first = leaf;
            startsWithTask = false;
            last = leaf;
        }
        outline.m_firstLeaves.push_back(first);
        outline.m_lastLeaves.push_back(last);
    }
    if (!outline.m_inLeafOrder) {
        outline.m_firstLeaves = {};
        outline.m_lastLeaves = {};
    }
    return outline;
}
