#pragma once

#include "session/TaskSection.h"

#include <QKeySequence>
#include <QObject>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>

class SessionController;

// A command on the tasks of a session, as the menu bar, a row's context menu and the panel's keys
// offer it.
enum class TaskAction {
    newItem,
    undo,
    redo,
    cut,
    copy,
    paste,
    moveToNext,
    moveToPending,
    moveToDone,
    moveUp,
    moveDown,
    openLink,
    edit,
    remove,
};

// The task commands of one session, for the menu bar, the context menu of a row and the panel's
// keys alike: each command's title and key, whether it may run, whether the menu bar lists it,
// and what it does. A command acts on the selected task; its row form acts on a row that need not
// be selected and then gives the selection back. Running a command does not ask whether it is
// enabled: menus disable their items, and keys run their command anyway (a refused session
// command does nothing).
class TaskActions : public QObject {
    Q_OBJECT

public:
    // The session's own, made on first use and gone with the session; none without a session.
    static TaskActions* of(SessionController* session);
    SessionController* session() const { return m_session; }

    // As a context menu shows it ("Move to Next").
    static QString title(TaskAction action);
    // With the letter the menu bar underlines ("Move to &Next").
    static QString menuText(TaskAction action);
    static QKeySequence key(TaskAction action);
    // The two moves a task of this section offers, in menu order: the one on T, then the one on
    // Space (which completes it, or sends a completed task back to Pending).
    static std::array<TaskAction, 2> moves(TaskSection section);

    // --- The selected task ---
    // The move on T; none without a selected task in a section.
    std::optional<TaskAction> moveOnT() const;
    // The move on Space: Move to Done unless a completed task is selected.
    TaskAction moveOnSpace() const;
    bool isEnabled(TaskAction action) const;
    // Whether the menu bar lists it: of Move to Next and Move to Pending only the move on T, and
    // Move to Next only while it may run.
    bool isVisible(TaskAction action) const;
    void run(TaskAction action);

    // --- A row (its context menu) ---
    // The row is selected for the command and the selection given back, except that Paste and
    // Edit leave it selected. False and nothing for the commands without a row form: New Item,
    // Undo, Redo, Move Item Up and Down.
    bool isEnabled(TaskAction action, const QUuid& id) const;
    void run(TaskAction action, const QUuid& id);

private:
    explicit TaskActions(SessionController* session);
    std::optional<TaskSection> selectedSection() const;

    SessionController* m_session;
};
