#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QKeyEvent;
class QWidget;
class Scheduler;
class SessionController;
class TaskActions;
class TaskListView;

// Decides, for every key typed into a panel, whether it is a list command. A command key runs its
// task action (or moves the selection) and is consumed; any other key is passed on to the focused
// editor, the search field, the window or the menus. Ctrl plays the part of the Command key. Apart
// from the keyboard navigation burst (kept on the list view, which reads it), the handler keeps no
// state.
class PanelKeyHandler : public QObject {
    Q_OBJECT

public:
    // Two arrow or J/K moves at most this far apart (or a held key) form a burst.
    static constexpr double keyboardNavigationBurstInterval = 0.28;

    // view: the panel's root view; its window's focus widget receives the text commands.
    PanelKeyHandler(
        SessionController* session, Scheduler* scheduler, QWidget* view, QObject* parent = nullptr);

    void setListView(TaskListView* list) { m_list = list; }

    // True when the key was consumed.
    bool handleKeyDown(QKeyEvent* event);

    // Asked first: while the search field has the focus, no key is a list command.
    std::function<bool()> isSearchFieldFocused;

    // The characters of a key without modifiers, lower-cased: letters ignore Shift; keys that type
    // nothing give an empty string.
    static QString charactersIgnoringModifiers(const QKeyEvent* event);

Q_SIGNALS:
    // The panel's and the application's part of the key map; each key is consumed whether or not
    // anything answers.
    void searchFieldFocusRequested();
    void previousTabRequested();
    void nextTabRequested();
    void keyboardControlsToggleRequested();

private:
    // Sends select all, cut, copy, paste, undo or redo to the window's focus widget; true when it
    // has that action.
    bool sendTextCommand(const QString& character, bool shift);
    bool handleCommandKey(const QKeyEvent* event, bool editingText);
    void navigate(int offset, bool isRepeat);
    void updateBurst(bool isRepeat);
    TaskActions* actions() const;

    QPointer<SessionController> m_session;
    Scheduler* m_scheduler;
    QPointer<QWidget> m_view;
    QPointer<TaskListView> m_list;
};
