#include "cli/TaskPlacement.h"

#include "session/ParsedTaskText.h"

QList<VeskTask>& TaskPlacement::tasks(TaskSection section)
{
    switch (section) {
    case TaskSection::working:
        return m_document.workingItems;
    case TaskSection::inbox:
        return m_document.inboxItems;
    case TaskSection::completed:
        break;
    }
    return m_document.completedItems;
}

bool TaskPlacement::apply(Move move, const TaskLocation& location)
{
    const TaskSection from = location.section;
    const auto takeTo = [&](TaskSection to, bool atTop) {
        VeskTask task = tasks(from).takeAt(location.index);
        if (atTop)
            tasks(to).prepend(std::move(task));
        else
            tasks(to).append(std::move(task));
    };
    switch (move) {
    case Move::complete:
        if (from == TaskSection::completed)
            return false;
        takeTo(TaskSection::completed, true);
        return true;
    case Move::returnToPending:
        if (from != TaskSection::completed)
            return false;
        takeTo(TaskSection::inbox, true);
        return true;
    case Move::toNext:
        if (from == TaskSection::working)
            return false;
        takeTo(TaskSection::working, false);
        return true;
    case Move::toPending:
        if (from == TaskSection::inbox)
            return false;
        takeTo(TaskSection::inbox, true);
        return true;
    case Move::remove:
        break;
    }
    tasks(from).removeAt(location.index);
    return true;
}

void TaskPlacement::add(const QStringList& texts, bool toNext)
{
    QList<VeskTask> added;
    for (const QString& text : texts) {
        // Read as the input row reads its draft; a text without a title adds nothing.
        if (const std::optional<ParsedTaskText> parsed = parseTaskText(text))
            added.append({parsed->title, parsed->note});
    }
    if (toNext)
        m_document.workingItems.append(added);
    else
        m_document.inboxItems = added + m_document.inboxItems;
}
