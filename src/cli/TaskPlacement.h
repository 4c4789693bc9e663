#pragma once

#include "cli/TaskLocation.h"
#include "document/VeskDocument.h"

#include <QStringList>

// Changes a document where the panel's commands would: completing puts a task at the top of
// Complete, returning it or moving it to Pending at the top of Pending, moving it to Next at the end
// of Next, and a new task goes to the top of Pending (n) or, moved on at once, to the end of Next
// (n, then t). The panel's animations have no counterpart here: every change lands at once.
class TaskPlacement {
public:
    enum class Move { complete, returnToPending, toNext, toPending, remove };

    explicit TaskPlacement(VeskDocument& document) : m_document(document) { }

    // False when the task already is where the move would take it; nothing changes then.
    bool apply(Move move, const TaskLocation& location);
    // Adds tasks from their text forms (title, then note lines) so that they read in the given order.
    void add(const QStringList& texts, bool toNext);

private:
    QList<VeskTask>& tasks(TaskSection section);

    VeskDocument& m_document;
};
