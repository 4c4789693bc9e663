#pragma once

#include "panel/PanelTabHost.h"
#include "panel/VeskPanelRootView.h"
#include "panel/WindowState.h"
#include "sync/VeskDocumentController.h"

#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QToolBar>

#include <functional>

class Scheduler;

// Owns the panel of one document: its page (toolbar with the search field, and the root view),
// the window that hosts it, its title, the link between the search field and the session's
// filter, and its place in a tab group.
class VeskPanelController : public QObject {
    Q_OBJECT

public:
    static constexpr int contentWidth = 490;
    static constexpr int contentHeight = 610;
    static constexpr int searchFieldWidth = 220;
    static inline const QString frameAutosaveName = QStringLiteral("VeskPanel");

    explicit VeskPanelController(VeskDocumentController* documentController, Scheduler* scheduler = nullptr,
        QObject* parent = nullptr);
    ~VeskPanelController() override;

    VeskDocumentController* documentController() const { return m_documentController; }
    WindowState* windowState() const { return m_windowState; }
    // The panel's page; absent until first shown and again after closing.
    QWidget* panel() const { return m_panel; }
    // The window that hosts the page (alone or among other tabs).
    PanelTabHost* host() const { return m_host; }
    bool didRestoreSavedFrame() const { return m_didRestoreSavedFrame; }
    QToolBar* toolbar() const { return m_toolbar; }
    QLineEdit* searchField() const { return m_searchField; }
    VeskPanelRootView* rootView() const { return m_rootView; }

    // The controller whose page this is, if any.
    static VeskPanelController* controllerFor(QWidget* page);
    // "Vesk" without a file; otherwise the file's name without its extension.
    static QString titleFor(const VeskDocumentController* documentController);

    void showPanel();
    // Builds the page and its window without showing them, for a page about to join another
    // window's tabs.
    void buildWindowIfNeeded()
    {
        if (!m_panel)
            buildWindow();
    }
    void closePanel();
    // True when the page is shown in the active window as its current tab.
    bool isPanelKey() const;

    QList<QWidget*> tabbedPanelWindows() const;
    void insertTab(VeskPanelController* other, int index);
    void applyTabOrder(const QList<VeskPanelController*>& controllers);
    void selectNextTab();
    void selectPreviousTab();

    void refreshWindowTitles();
    void refreshWindowTitlesDeferred();
    void syncToolbarAndSearchField();

    void focusSearchField();
    void resignSearchFieldFocus();
    bool isSearchFieldFocused() const;

    // The window's close button: asks the owner, never closes by itself.
    bool windowShouldClose();

    std::function<void()> onBecameKey;
    std::function<void()> onCloseRequested;
    std::function<void()> onTabOrderChanged;

signals:
    // The "?" key in the panel: show or hide the keyboard controls reference.
    void keyboardControlsToggleRequested();
    // A window was built for the page and is not shown yet: what it carries goes in now, so that
    // its first frame has it.
    void windowBuilt(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void observeHost();
    void updateKeyState();
    void saveFrame();
    void applyTitle(VeskPanelController* controller);

    QPointer<VeskDocumentController> m_documentController;
    Scheduler* m_scheduler;
    WindowState* m_windowState;
    QPointer<QWidget> m_panel;
    QPointer<PanelTabHost> m_host;
    bool m_didRestoreSavedFrame = false;
    QPointer<QToolBar> m_toolbar;
    QPointer<QLineEdit> m_searchField;
    QPointer<VeskPanelRootView> m_rootView;
    QList<QMetaObject::Connection> m_hostConnections;
    bool m_settingSearchText = false;
};
