#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class PanelKeyHandler;
class PanelKeyboardMonitor;
class PanelStatusLine;
class PanelWelcomeView;
class QKeyEvent;
class QStackedLayout;
class Scheduler;
class SessionController;
class TaskListView;
#include "panel/WindowState.h"
#include "sync/VeskDocumentController.h"

// The content of a panel: the welcome block while the document has no file, otherwise the task
// list with the status line below it. Installs the panel's keyboard monitor.
class VeskPanelRootView : public QWidget {
    Q_OBJECT

public:
    VeskPanelRootView(VeskDocumentController* documentController, WindowState* windowState,
        Scheduler* scheduler = nullptr, QWidget* parent = nullptr);
    ~VeskPanelRootView() override;

    VeskDocumentController* documentController() const { return m_documentController; }
    SessionController* sessionController() const;
    TaskListView* listView() const { return m_list; }
    // None until the panel has had no file to show.
    PanelWelcomeView* welcomeView() const { return m_welcome; }
    PanelStatusLine* statusLine() const { return m_status; }
    bool isShowingWelcome() const;

    // The search field beside this view, which the panel controller owns; the keys ask whether it
    // has the focus.
    void setSearchField(QWidget* searchField) { m_searchField = searchField; }
    bool isSearchFieldFocused() const { return m_searchField && m_searchField->hasFocus(); }
    // Sees every key typed into this panel's window first and answers whether it handled it; the
    // panel's key handler unless a test wraps it.
    std::function<bool(QKeyEvent*)> onKeyDown;
    PanelKeyHandler* keyHandler() const { return m_keyHandler; }

    // Gives the keyboard focus to the list (or to the editor it wants focused).
    void focusContent();

signals:
    // What the panel's keys and list ask of the window around them, which the panel controller does.
    void focusSearchFieldRequested();
    void resignSearchFieldFocusRequested();
    void previousTabRequested();
    void nextTabRequested();
    void keyboardControlsToggleRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();
    void buildWelcomeIfNeeded();

    QPointer<VeskDocumentController> m_documentController;
    QPointer<WindowState> m_windowState;
    QPointer<QWidget> m_searchField;
    QStackedLayout* m_stack;
    // Made when first shown: a launch that opens a file does not draw it.
    PanelWelcomeView* m_welcome = nullptr;
    QWidget* m_listPage;
    TaskListView* m_list;
    PanelStatusLine* m_status;
    PanelKeyboardMonitor* m_keyboardMonitor;
    PanelKeyHandler* m_keyHandler;
};
