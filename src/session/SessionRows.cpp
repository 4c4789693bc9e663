#include "session/SessionRows.h"

const QList<const SessionItem*>& SessionRows::itemsInOrder(TaskSection section) const
{
    SectionItems& cache = m_sectionItems[size_t(section)];
    const QList<QUuid>& ids = m_state.itemIDs(section);
    if (cache.valid && cache.ids.isSharedWith(ids) && cache.items.isSharedWith(m_state.items()))
        return cache.found;
    cache.ids = ids;
    cache.items = m_state.items();
    cache.found.clear();
    cache.found.reserve(ids.size());
    for (const QUuid& id : ids)
        cache.found.append(cache.items.pointerTo(id));
    cache.valid = true;
    return cache.found;
}

template <typename Visit>
void SessionRows::walk(Visit&& visit) const
{
    const QString folded = m_filter.foldedQuery();
    const bool filtered = !folded.isEmpty();
    const CompletionShellState* shell = m_state.completionShell() ? &*m_state.completionShell() : nullptr;

    // Emits the rows of one section; returns how many ids passed the filter and how many rows came out.
    const auto taskRows = [&](TaskSection section) {
        qsizetype visible = 0;
        qsizetype emitted = 0;
        const QList<QUuid>& ids = m_state.itemIDs(section);
        const QList<const SessionItem*>& ordered = itemsInOrder(section);
        const FilterMatches* matching = filtered ? &m_filter.matchingRows(m_state, section) : nullptr;
        for (qsizetype i = matching ? matching->next(0) : 0; i < ids.size();
             i = matching ? matching->next(i + 1) : i + 1) {
            const QUuid& id = ids.at(i);
            const SessionItem* found = ordered.at(i);
            ++visible;
            if (shell && shell->itemID == id && shell->section == section) {
                visit(RenderedRow::Kind::completionShell, section, id, nullptr, shell);
                ++emitted;
            } else if (found) {
                visit(RenderedRow::Kind::task, section, id, found, nullptr);
                ++emitted;
            }
        }
        return std::pair {visible, emitted};
    };

    if (taskRows(TaskSection::working).second == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::working, QUuid(), nullptr, nullptr);
    visit(RenderedRow::Kind::separator, TaskSection::working, QUuid(), nullptr, nullptr);
    if (m_state.isCreatingNewItem())
        visit(RenderedRow::Kind::input, TaskSection::inbox, QUuid(), nullptr, nullptr);
    if (taskRows(TaskSection::inbox).first == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::inbox, QUuid(), nullptr, nullptr);
    visit(RenderedRow::Kind::separator, TaskSection::inbox, QUuid(), nullptr, nullptr);
    if (taskRows(TaskSection::completed).first == 0)
        visit(RenderedRow::Kind::spacer, TaskSection::completed, QUuid(), nullptr, nullptr);
}

QList<RenderedRow> SessionRows::rendered() const
{
    QList<RenderedRow> rows;
    rows.reserve(m_state.items().size() + 6);
    walk([&](RenderedRow::Kind kind, TaskSection section, const QUuid& id, const SessionItem* found,
             const CompletionShellState* shell) {
        switch (kind) {
        case RenderedRow::Kind::task:
            // An id lives in one list only, so being listed under completed is being completed.
            rows.append(
                RenderedRow::task(id, section, section == TaskSection::completed, found->title, found->note));
            break;
        case RenderedRow::Kind::completionShell:
            rows.append(
                RenderedRow::completionShell(id, section, shell->title, shell->note, shell->isCompleted));
            break;
        case RenderedRow::Kind::separator:
            rows.append(RenderedRow::separator(section));
            break;
        case RenderedRow::Kind::input:
            rows.append(RenderedRow::input(m_state.inputDraft()));
            break;
        case RenderedRow::Kind::spacer:
            rows.append(RenderedRow::spacer(section, emptySectionSpacerHeight));
            break;
        }
    });
    return rows;
}
