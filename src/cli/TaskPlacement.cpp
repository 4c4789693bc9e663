#include "TaskPlacement.h"

TaskPlacement::TaskPlacement(const VeskDocument& document) : m_session(&m_scheduler)
{
    m_session.loadDocument(document);
}

void TaskPlacement::select(const QUuid& id)
{
    m_session.setSelection(SessionSelection::task(id));
}

bool TaskPlacement::apply(Move move, const TaskLocation& location)
{
    const TaskSection section = location.section;
    select(m_session.itemIDs(section).at(location.index));
    switch (move) {
    case Move::complete:
        if (section == TaskSection::completed)
            return false;
        m_session.toggleSelectedItemCompletion();
        break;
    case Move::returnToPending:
        if (section != TaskSection::completed)
            return false;
        m_session.toggleSelectedItemCompletion();
        break;
    case Move::toNext:
        if (section == TaskSection::working)
            return false;
        m_session.moveSelectedItemToNext();
        break;
    case Move::toPending:
        if (section == TaskSection::inbox)
            return false;
        m_session.moveSelectedItemToPending();
        break;
    case Move::remove:
        m_session.deleteSelectedItem();
        break;
    }
    m_session.finishPendingTransitions();
    return true;
}

void TaskPlacement::add(const QStringList& texts, bool toNext)
{
    // Each new task goes to the top of Pending, so the last one is added first; a move to Next
    // appends, so there the first one is.
    for (qsizetype i = 0; i < texts.size(); ++i) {
        m_session.beginCreatingNewItem(texts[toNext ? i : texts.size() - 1 - i]);
        m_session.commitNewItem();
        if (toNext) {
            m_session.toggleSelectedItemToday();
            m_session.finishPendingTransitions();
        }
    }
}
