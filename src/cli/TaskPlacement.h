#pragma once

#include "ManualScheduler.h"
#include "SessionController.h"
#include "TaskReference.h"

#include <QStringList>

// Changes a document with the panel's own commands, so that a task lands where the same key in the
// window would put it. Transitions that the panel animates land at once.
class TaskPlacement {
public:
    enum class Move { complete, returnToPending, toNext, toPending, remove };

    explicit TaskPlacement(const VeskDocument& document);

    // False when the task already is where the move would take it; nothing changes then.
    bool apply(Move move, const TaskLocation& location);
    // Adds tasks from their text forms (title, then note lines) so that they read in the given order:
    // at the top of Pending as the n key adds them, or, with toNext, at the end of Next as n then t
    // does.
    void add(const QStringList& texts, bool toNext);

    VeskDocument document() const { return m_session.committedDocument(); }

private:
    void select(const QUuid& id);

    ManualScheduler m_scheduler;
    SessionController m_session;
};
