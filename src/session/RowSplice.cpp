#include "session/RowSplice.h"

void applyRowSplices(QList<RenderedRow>& rows, const QList<RowSplice>& splices)
{
    // A few splices go in place; many (a filter that changed) are laid into a new list in one pass.
    constexpr qsizetype inPlace = 8;
    if (splices.size() <= inPlace) {
        for (const RowSplice& splice : splices) {
            const qsizetype common = std::min(splice.removed, splice.inserted.size());
            for (qsizetype i = 0; i < common; ++i)
                rows[splice.at + i] = splice.inserted[i];
            if (splice.removed > common)
                rows.remove(splice.at + common, splice.removed - common);
            else if (splice.inserted.size() > common)
                rows.insert(splice.at + common, splice.inserted.size() - common, RenderedRow());
            for (qsizetype i = common; i < splice.inserted.size(); ++i)
                rows[splice.at + i] = splice.inserted[i];
        }
        return;
    }
    QList<RenderedRow> next;
    next.reserve(rows.size());
    qsizetype from = 0;
    for (const RowSplice& splice : splices) {
        // splice.at counts the rows already laid, which are those of next.
        const qsizetype kept = splice.at - next.size();
        for (qsizetype i = 0; i < kept; ++i)
            next.append(std::move(rows[from + i]));
        from += kept + splice.removed;
        next.append(splice.inserted);
    }
    for (; from < rows.size(); ++from)
        next.append(std::move(rows[from]));
    rows = std::move(next);
}
