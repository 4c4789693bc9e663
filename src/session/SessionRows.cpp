#include "SessionController.h"

#include <QLocale>

namespace {

// Case folding under the user's locale (so that a Turkish dotted capital I finds a dotted small i),
// followed by Unicode case folding to merge forms such as the final sigma. Outside Turkish rules a
// dotted capital I lowers to i plus a combining dot, which would hide "ist" in "İstanbul"; the dot
// is dropped so that it reads as the plain i it is to those users.
QString foldForSearch(const QLocale& locale, const QString& text)
{
    QString folded = locale.toLower(text).toCaseFolded();
    if (folded.contains(QChar(0x0307)))
        folded.replace(QStringLiteral(u"i\u0307"), QStringLiteral(u"i"));
    return folded;
}

bool sameText(const QString& a, const QString& b)
{
    return a.isSharedWith(b) || a == b;
}

bool sameNote(const std::optional<QString>& a, const std::optional<QString>& b)
{
    return a.has_value() == b.has_value() && (!a || sameText(*a, *b));
}

} // namespace

QString SessionController::trimmedFilterQuery() const
{
    return m_filterQuery.trimmed();
}

QString SessionController::foldedSearchText(const SessionItem& item) const
{
    const QLocale locale;
    const QString localeName = locale.name();
    // Folding goes through the locale's case rules, which are slow enough to matter at thousands of
    // items; keep each item's folded text until its text or the locale changes.
    if (localeName != m_foldedTextLocale || m_foldedTextCache.size() > 2 * m_itemsByID.size() + 1024) {
        m_foldedTextCache.clear();
        m_foldedTextLocale = localeName;
    }
    auto it = m_foldedTextCache.find(item.id);
    if (it != m_foldedTextCache.end() && sameText(it->title, item.title) && sameNote(it->note, item.note))
        return it->folded;
    const QString folded = foldForSearch(locale, editableText(item));
    m_foldedTextCache.insert(item.id, FoldedText {item.title, item.note, folded});
    return folded;
}

bool SessionController::matchesFoldedQuery(const SessionItem& item, const QString& foldedQuery) const
{
    return foldedSearchText(item).contains(foldedQuery);
}

bool SessionController::matchesFilter(const QUuid& id) const
{
    const SessionItem* found = item(id);
    if (!found)
        return false;
    return matchesFoldedQuery(*found, foldForSearch(QLocale(), trimmedFilterQuery()));
}

QList<QUuid> SessionController::visibleItemIDs(TaskSection section) const
{
    const QString query = trimmedFilterQuery();
    if (query.isEmpty())
        return itemIDs(section);
    const QString folded = foldForSearch(QLocale(), query);
    QList<QUuid> visible;
    for (const QUuid& id : itemIDs(section))
        if (const SessionItem* found = item(id); found && matchesFoldedQuery(*found, folded))
            visible.append(id);
    return visible;
}

std::optional<QUuid> SessionController::firstVisibleID(TaskSection section) const
{
    const QList<QUuid>& ids = itemIDs(section);
    const QString query = trimmedFilterQuery();
    if (query.isEmpty())
        return ids.isEmpty() ? std::nullopt : std::optional<QUuid>(ids.first());
    const QString folded = foldForSearch(QLocale(), query);
    for (const QUuid& id : ids)
        if (const SessionItem* found = item(id); found && matchesFoldedQuery(*found, folded))
            return id;
    return std::nullopt;
}

// Appends the rows of one section and returns how many of its ids passed the filter.
qsizetype SessionController::appendTaskRows(QList<RenderedRow>& rows, const QList<QUuid>& ids,
    TaskSection section, bool filtered, const QString& foldedQuery) const
{
    qsizetype visible = 0;
    for (const QUuid& id : ids) {
        const SessionItem* found = item(id);
        if (filtered && !(found && matchesFoldedQuery(*found, foldedQuery)))
            continue;
        ++visible;
        if (m_completionShell && m_completionShell->itemID == id && m_completionShell->section == section) {
            rows.append(RenderedRow::completionShell(id, section, m_completionShell->title,
                m_completionShell->note, m_completionShell->isCompleted));
        } else if (found) {
            // An id lives in one list only, so being listed under completed is being completed.
            rows.append(
                RenderedRow::task(id, section, section == TaskSection::completed, found->title, found->note));
        }
    }
    return visible;
}

QList<RenderedRow> SessionController::renderedRows() const
{
    const QString query = trimmedFilterQuery();
    const bool filtered = !query.isEmpty();
    const QString folded = filtered ? foldForSearch(QLocale(), query) : QString();

    QList<RenderedRow> rows;
    rows.reserve(m_workingItemIDs.size() + m_inboxItemIDs.size() + m_completedItemIDs.size() + 6);

    const qsizetype before = rows.size();
    appendTaskRows(rows, m_workingItemIDs, TaskSection::working, filtered, folded);
    if (rows.size() == before)
        rows.append(RenderedRow::spacer(TaskSection::working, emptySectionSpacerHeight));
    rows.append(RenderedRow::separator(TaskSection::working));

    if (m_isCreatingNewItem)
        rows.append(RenderedRow::input(m_inputDraft));

    for (TaskSection section : {TaskSection::inbox, TaskSection::completed}) {
        if (appendTaskRows(rows, itemIDs(section), section, filtered, folded) == 0)
            rows.append(RenderedRow::spacer(section, emptySectionSpacerHeight));
        if (section == TaskSection::inbox)
            rows.append(RenderedRow::separator(TaskSection::inbox));
    }
    return rows;
}

bool SessionController::isSelectableTarget(const SessionSelection& selection) const
{
    // Same answer as looking the selection up in selectableTargets(renderedRows()), without
    // building the rows.
    switch (selection.kind()) {
    case SessionSelection::Kind::none:
        return false;
    case SessionSelection::Kind::input:
        return m_isCreatingNewItem;
    case SessionSelection::Kind::task:
        break;
    }
    const QUuid id = *selection.taskID();
    const SessionItem* found = item(id);
    const std::optional<TaskSection> section = sectionOf(id);
    if (!found || !section)
        return false;
    if (m_completionShell && m_completionShell->itemID == id && m_completionShell->section == *section)
        return false;
    const QString query = trimmedFilterQuery();
    return query.isEmpty() || matchesFoldedQuery(*found, foldForSearch(QLocale(), query));
}

void SessionController::setFilterQuery(const QString& text)
{
    ChangeScope scope(this);
    const bool differs = text != m_filterQuery;
    assignFilterQuery(text);
    if (differs) {
        assignSelection(resolvedSelection(m_selection));
        reveal();
    }
}
