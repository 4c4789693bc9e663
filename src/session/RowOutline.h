#pragma once

#include "session/RenderedRow.h"
#include "session/TaskSection.h"

#include <QList>

#include <vector>

// What laying out a long list of rows needs to know of them without reading each one: the
// stretches of rows alike (each run of task rows of one section, every other row alone), and
// whether the task rows lie in the order of their ids' leaves (SessionItemMap::leafIndex), with the
// first and last leaf of each chunk of `chunkRows` rows. Made where the rows are made (a list
// loaded, on the writer's thread), in one pass over them, and carried with them to the window.
class RowOutline {
public:
    // Rows per chunk: that of the lists the window keeps its rows in.
    static constexpr qsizetype chunkRows = 256;

    struct Stretch {
        qsizetype first = 0;
        qsizetype count = 0;
        RenderedRow::Kind kind = RenderedRow::Kind::task;
        TaskSection section = TaskSection::working;
    };

    static RowOutline of(const QList<RenderedRow>& rows);

    qsizetype rowCount() const { return m_rowCount; }
    // Top to bottom, covering every row.
    const std::vector<Stretch>& stretches() const { return m_stretches; }
    // Whether the task rows lie in leaf order; only then are the leaves below kept.
    bool inLeafOrder() const { return m_inLeafOrder; }
    // For each chunk, the leaf of its first task row and of its last; a chunk without task rows
    // takes the last leaf of the chunks before it for both, so that both lists stay in order.
    const std::vector<quint16>& firstLeaves() const { return m_firstLeaves; }
    const std::vector<quint16>& lastLeaves() const { return m_lastLeaves; }

private:
    qsizetype m_rowCount = 0;
    std::vector<Stretch> m_stretches;
    bool m_inLeafOrder = true;
    std::vector<quint16> m_firstLeaves;
    std::vector<quint16> m_lastLeaves;
};
