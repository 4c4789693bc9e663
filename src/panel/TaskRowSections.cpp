#include "panel/TaskRowSections.h"

#include <algorithm>

void TaskRowSections::reset(const ChunkedList<RenderedRow>& rows)
{
    m_marks.clear();
    m_size = rows.size();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].kind != RenderedRow::Kind::task)
            m_marks.push_back(Mark {i, rows[i].kind, rows[i].section});
    }
}

void TaskRowSections::apply(
    const ChunkedList<RenderedRow>& rows, const QList<RowSplice>& splices, Touched& touched)
{
    // Splices come in list order: a splice's place, less what those before it added, is its place
    // in rows.
    qsizetype shift = 0;
    for (const RowSplice& splice : splices) {
        const qsizetype number = m_splices++;
        for (qsizetype i = 0; i < splice.removed; ++i) {
            const qsizetype from = splice.at + i - shift;
            if (from >= 0 && from < rows.size() && rows[from].kind == RenderedRow::Kind::task)
                touched.removed.insert(rows[from].itemID, Touched::Place {number, i});
        }
        const qsizetype added = splice.inserted.size() - splice.removed;
        std::vector<Mark> marks;
        marks.reserve(m_marks.size() + 2);
        for (const Mark& mark : m_marks) {
            if (mark.row < splice.at)
                marks.push_back(mark);
            else if (mark.row >= splice.at + splice.removed)
                marks.push_back(Mark {mark.row + added, mark.kind, mark.section});
        }
        for (qsizetype i = 0; i < splice.inserted.size(); ++i) {
            const RenderedRow& row = splice.inserted[i];
            if (row.kind == RenderedRow::Kind::task)
                touched.inserted.insert(row.itemID, Touched::Place {number, i});
            else
                marks.push_back(Mark {splice.at + i, row.kind, row.section});
        }
        std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.row < b.row; });
        m_marks = std::move(marks);
        m_size += added;
        shift += added;
    }
}

qsizetype TaskRowSections::separator(TaskSection section) const
{
    for (const Mark& mark : m_marks) {
        if (mark.kind == RenderedRow::Kind::separator && mark.section == section)
            return mark.row;
    }
    return m_size;
}

qsizetype TaskRowSections::begin(TaskSection section) const
{
    switch (section) {
    case TaskSection::working:
        return 0;
    case TaskSection::inbox:
        return std::min(m_size, separator(TaskSection::working) + 1);
    case TaskSection::completed:
        break;
    }
    return std::min(m_size, separator(TaskSection::inbox) + 1);
}

qsizetype TaskRowSections::end(TaskSection section) const
{
    return section == TaskSection::completed ? m_size : separator(section);
}

qsizetype TaskRowSections::taskCount(TaskSection section) const
{
    const qsizetype first = begin(section), last = end(section);
    const auto others = std::count_if(m_marks.begin(), m_marks.end(),
        [&](const Mark& mark) { return mark.row >= first && mark.row < last; });
    return std::max<qsizetype>(0, last - first - others);
}

qsizetype TaskRowSections::rowOfTask(TaskSection section, qsizetype index) const
{
    if (index < 0)
        return -1;
    const qsizetype first = begin(section), last = end(section);
    qsizetype row = first + index;
    for (const Mark& mark : m_marks) {
        if (mark.row >= first && mark.row <= row)
            ++row;
    }
    return row < last ? row : -1;
}

qsizetype TaskRowSections::taskIndex(TaskSection section, qsizetype row) const
{
    const qsizetype first = begin(section);
    const auto others = std::count_if(m_marks.begin(), m_marks.end(),
        [&](const Mark& mark) { return mark.row >= first && mark.row < row; });
    return row - first - others;
}
