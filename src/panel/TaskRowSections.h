#pragma once

#include "panel/ChunkedList.h"
#include "session/RenderedRow.h"
#include "session/RowSplice.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <vector>

// Where each section's task rows lie in a list of rows that runs section by section. Besides the
// tasks a list holds only a few rows (the separators that end the working and inbox parts, the input
// row, a spacer per empty section, completion shells); those are kept by place and followed through
// the list's splices, so that the i-th task of a section and a task's place in its section are
// found without walking the rows.
class TaskRowSections {
public:
    // What splices did to the task rows: each task row removed or inserted, by id, with the splice
    // it belonged to (numbered across updates) and its place in that splice.
    struct Touched {
        struct Place {
            qsizetype splice = 0;
            qsizetype offset = 0;
        };
        QHash<QUuid, Place> removed;
        QHash<QUuid, Place> inserted;
        void clear() { removed.clear(), inserted.clear(); }
    };

    // Reads a whole list (once, when first asked).
    void reset(const ChunkedList<RenderedRow>& rows);
    // Follows splices about to be applied to rows, noting the task rows they remove and insert.
    void apply(const ChunkedList<RenderedRow>& rows, const QList<RowSplice>& splices, Touched& touched);

    qsizetype taskCount(TaskSection section) const;
    // The place in the list of the task at index in its section, or -1.
    qsizetype rowOfTask(TaskSection section, qsizetype index) const;
    // The index in its section of the task row at place row.
    qsizetype taskIndex(TaskSection section, qsizetype row) const;

private:
    struct Mark {
        qsizetype row = 0;
        RenderedRow::Kind kind = RenderedRow::Kind::spacer;
        TaskSection section = TaskSection::working;
    };
    // The rows of a section's part: from begin up to end.
    qsizetype begin(TaskSection section) const;
    qsizetype end(TaskSection section) const;
    qsizetype separator(TaskSection section) const;

    std::vector<Mark> m_marks; // in row order
    qsizetype m_size = 0;
    qsizetype m_splices = 0;
};
