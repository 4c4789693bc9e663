#include "session/RowSplice.h"

#include <type_traits>
#include <utility>

namespace {

template <typename Splices>
void applyPass(QList<RenderedRow>& rows, Splices& splices)
{
    // Moves the inserted rows when the splices are the caller's to give up.
    const auto take = [](auto& row) -> decltype(auto) {
        if constexpr (std::is_const_v<Splices>)
            return row;
        else
            return std::move(row);
    };
    // A few splices go in place; many (a filter that changed) are laid into a new list in one pass.
    constexpr qsizetype inPlace = 8;
    if (splices.size() <= inPlace) {
        for (auto& splice : splices) {
            if (splice.at == 0 && splice.removed == rows.size()) {
                // Every row replaced (a list loaded): the new rows are taken as a list, shared.
                rows = take(splice.inserted);
                continue;
            }
            const qsizetype common = std::min(splice.removed, splice.inserted.size());
            for (qsizetype i = 0; i < common; ++i)
                rows[splice.at + i] = take(splice.inserted[i]);
            if (splice.removed > common)
                rows.remove(splice.at + common, splice.removed - common);
            else if (splice.inserted.size() > common)
                rows.insert(splice.at + common, splice.inserted.size() - common, RenderedRow());
            for (qsizetype i = common; i < splice.inserted.size(); ++i)
                rows[splice.at + i] = take(splice.inserted[i]);
        }
        return;
    }
    qsizetype size = rows.size();
    for (const RowSplice& splice : std::as_const(splices))
        size += splice.inserted.size() - splice.removed;
    QList<RenderedRow> next;
    next.reserve(size);
    qsizetype from = 0;
    for (auto& splice : splices) {
        // splice.at counts the rows already laid, which are those of next.
        const qsizetype kept = splice.at - next.size();
        for (qsizetype i = 0; i < kept; ++i)
            next.append(std::move(rows[from + i]));
        from += kept + splice.removed;
        if constexpr (std::is_const_v<Splices>) {
            next.append(splice.inserted);
        } else {
            for (RenderedRow& row : splice.inserted)
                next.append(std::move(row));
        }
    }
    for (; from < rows.size(); ++from)
        next.append(std::move(rows[from]));
    rows = std::move(next);
}

template <typename Splices>
void apply(QList<RenderedRow>& rows, Splices& splices)
{
    QList<QList<RowSplice>> passes = rowSplicePasses(splices);
    if (passes.size() == 1) {
        applyPass(rows, splices);
        return;
    }
    for (QList<RowSplice>& pass : passes)
        applyPass(rows, std::as_const(pass));
}

} // namespace

QList<QList<RowSplice>> rowSplicePasses(const QList<RowSplice>& splices)
{
    QList<QList<RowSplice>> passes;
    qsizetype from = 0;
    for (qsizetype i = 1; i <= splices.size(); ++i) {
        if (i < splices.size() && splices[i].at >= splices[i - 1].at + splices[i - 1].inserted.size())
            continue;
        passes.append(from == 0 && i == splices.size() ? splices : splices.mid(from, i - from));
        from = i;
    }
    return passes;
}

void applyRowSplices(QList<RenderedRow>& rows, const QList<RowSplice>& splices)
{
    apply(rows, splices);
}

void applyRowSplices(QList<RenderedRow>& rows, QList<RowSplice>&& splices)
{
    apply(rows, splices);
}
