#pragma once

#include "session/TaskSection.h"

#include <QPointer>
#include <QUuid>

#include <functional>
#include <optional>

class SessionController;

// The drop target of one task row. While a task of the same section is dragged over the row, the
// task is moved in the session to where it would land, so the list shows the new order at once;
// the drop itself only ends the drag. Tasks never change section by dragging.
class TaskRowDropDelegate {
public:
    // The list's record of the task being dragged, read and written through these two functions.
    struct DraggedTaskBinding {
        std::function<std::optional<QUuid>()> get;
        std::function<void(const std::optional<QUuid>&)> set;
    };

    TaskRowDropDelegate(const QUuid& targetID, TaskSection targetSection, double rowHeight,
        DraggedTaskBinding draggedTaskID, SessionController* session);

    const QUuid& targetID() const { return m_targetID; }
    TaskSection targetSection() const { return m_targetSection; }
    double rowHeight() const { return m_rowHeight; }

    // Whether a drop on this row would be accepted.
    bool validateDrop() const;
    // The pointer entered the row or moved over it, y pixels below its top: live reorder.
    void dropEntered(double y);
    void dropUpdated(double y);
    // Ends the drag (the order is already final) and answers whether the drop was a valid one.
    bool performDrop();

    // Where a task at index dragged lands when dropped above (after = false) or below the task at
    // index target of the same section's full list.
    static int destination(int target, int dragged, bool after);

    // Runs each live move; the list makes it an animated change. Without it the move is plain.
    std::function<void(const std::function<void()>& move)> animateMove;

private:
    void reorder(double y);

    QUuid m_targetID;
    TaskSection m_targetSection;
    double m_rowHeight;
    DraggedTaskBinding m_draggedTaskID;
    QPointer<SessionController> m_session;
};
