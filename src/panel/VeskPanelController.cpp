#include "panel/VeskPanelController.h"

#include "panel/PanelStyle.h"
#include "panel/TaskListView.h"
#include "platform/Scheduler.h"
#include "platform/SettingsStore.h"
#include "platform/gui/ScreenFit.h"
#include "platform/gui/WindowActivation.h"
#include "session/SessionController.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMainWindow>
#include <QStyle>

namespace {
const char* controllerProperty = "veskPanelController";
}

VeskPanelController::VeskPanelController(
    VeskDocumentController* documentController, Scheduler* scheduler, QObject* parent)
    : QObject(parent),
      m_documentController(documentController),
      m_scheduler(scheduler ? scheduler : Scheduler::system()),
      m_windowState(new WindowState(this))
{
    connect(documentController, &VeskDocumentController::selectedFileURLChanged, this, [this] {
        refreshWindowTitlesDeferred();
        syncToolbarAndSearchField();
    });
    connect(documentController->sessionController(), &SessionController::changed, this, [this] {
        refreshWindowTitles();
        syncToolbarAndSearchField();
    });
}

VeskPanelController::~VeskPanelController()
{
    closePanel();
}

VeskPanelController* VeskPanelController::controllerFor(QWidget* page)
{
    return page ? qobject_cast<VeskPanelController*>(page->property(controllerProperty).value<QObject*>())
                : nullptr;
}

QString VeskPanelController::titleFor(const VeskDocumentController* documentController)
{
    if (!documentController || !documentController->hasSelectedFile())
        return QStringLiteral("Vesk");
    return QFileInfo(VeskDocumentController::localPath(documentController->selectedFileURL()))
        .completeBaseName();
}

void VeskPanelController::buildWindow()
{
    auto* page = new QMainWindow(nullptr, Qt::Widget);
    page->setProperty(controllerProperty, QVariant::fromValue<QObject*>(this));
    page->setObjectName(QStringLiteral("VeskPanelPage"));

    m_rootView = new VeskPanelRootView(m_documentController, m_windowState, m_scheduler, page);
    connect(m_rootView, &VeskPanelRootView::focusSearchFieldRequested, this,
        &VeskPanelController::focusSearchField);
    connect(m_rootView, &VeskPanelRootView::resignSearchFieldFocusRequested, this,
        &VeskPanelController::resignSearchFieldFocus);
    connect(
        m_rootView, &VeskPanelRootView::previousTabRequested, this, &VeskPanelController::selectPreviousTab);
    connect(m_rootView, &VeskPanelRootView::nextTabRequested, this, &VeskPanelController::selectNextTab);
    connect(m_rootView, &VeskPanelRootView::keyboardControlsToggleRequested, this,
        &VeskPanelController::keyboardControlsToggleRequested);
    page->setCentralWidget(m_rootView);

    m_toolbar = new QToolBar(QStringLiteral("VeskToolbar"), page);
    m_toolbar->setObjectName(QStringLiteral("VeskToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->toggleViewAction()->setEnabled(false);
    page->setContextMenuPolicy(Qt::NoContextMenu);
    auto* spacer = new QWidget(m_toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(spacer);
    m_searchField = new QLineEdit(m_toolbar);
    m_rootView->setSearchField(m_searchField);
    m_searchField->setObjectName(QStringLiteral("vesk.search"));
    m_searchField->setPlaceholderText(QStringLiteral("Search"));
    // The clear button's icon is looked up in the icon theme, which is slow; while the field is
    // empty the button is not shown, so it waits until the field has been drawn (eventFilter).
    if (!m_documentController->sessionController()->filterQuery().isEmpty())
        m_searchField->setClearButtonEnabled(true);
    m_searchField->setFixedWidth(searchFieldWidth);
    m_searchField->setAccessibleName(QStringLiteral("Search"));
    m_searchField->setText(m_documentController->sessionController()->filterQuery());
    m_searchField->installEventFilter(this);
    // Every keystroke filters.
    connect(m_searchField, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!m_settingSearchText && m_documentController)
            m_documentController->sessionController()->setFilterQuery(text);
    });
    m_toolbar->addWidget(m_searchField);
    page->addToolBar(Qt::TopToolBarArea, m_toolbar);

    m_panel = page;
    m_host = new PanelTabHost;
    m_host->insertPage(0, page);
    m_host->setCurrentPage(page);

    syncToolbarAndSearchField();
    const QByteArray saved = SettingsStore::shared().value(frameAutosaveName).toByteArray();
    m_didRestoreSavedFrame = !saved.isEmpty() && m_host->restoreGeometry(saved);
    if (!m_didRestoreSavedFrame) {
        // The content (below the menu bar, tab bar and toolbar, whichever are shown) is 490 × 610 at
        // first and never smaller; the window grows with the bars above it. On a screen too small
        // for that (a laptop at a large scale factor) the content takes what is left and may shrink
        // further, the list scrolling, so that the title bar and the toolbar stay in reach.
        const QSize designed(contentWidth, contentHeight);
        m_rootView->setMinimumSize(designed);
        m_host->layout()->activate();
        const QSize bars = m_host->minimumSizeHint() - designed;
        const QSize room = ScreenFit::availableContentSize(m_host, ScreenFit::screenForNewWindow()) - bars;
        if (designed.boundedTo(room) != designed) {
            m_rootView->setMinimumSize(0, 0);
            // The layouts between the content and the window keep the first minimum until told.
            for (QWidget* widget = m_rootView; widget && widget != m_host; widget = widget->parentWidget())
                widget->updateGeometry();
            m_host->layout()->activate();
        }
        m_host->resize(m_host->minimumSizeHint().expandedTo(bars + designed.boundedTo(room)));
    }
    observeHost();
    refreshWindowTitles();
    syncToolbarAndSearchField();
    emit windowBuilt(m_host);
}

void VeskPanelController::observeHost()
{
    for (const auto& connection : std::as_const(m_hostConnections))
        disconnect(connection);
    m_hostConnections.clear();
    if (!m_host)
        return;
    QPointer<VeskPanelController> self(this);
    m_hostConnections << connect(m_host, &PanelTabHost::tabOrderChanged, this, [this, self] {
        m_scheduler->schedule(0, this, [self] {
            if (self && self->onTabOrderChanged)
                self->onTabOrderChanged();
        });
    });
    m_hostConnections << connect(
        m_host, &PanelTabHost::activationChanged, this, &VeskPanelController::updateKeyState);
    m_hostConnections << connect(
        m_host, &PanelTabHost::currentPageChanged, this, &VeskPanelController::updateKeyState);
    m_hostConnections << connect(WindowActivation::FocusWatcher::instance(),
        &WindowActivation::FocusWatcher::changed, this, &VeskPanelController::updateKeyState);
    m_hostConnections << connect(m_host, &PanelTabHost::closeRequested, this, [this](QWidget* page) {
        if (page == m_panel)
            windowShouldClose();
    });
    m_hostConnections << connect(
        m_host, &PanelTabHost::geometryChanged, this, &VeskPanelController::saveFrame);
}

void VeskPanelController::saveFrame()
{
    if (m_host && m_host->isVisible())
        SettingsStore::shared().setValue(frameAutosaveName, m_host->saveGeometry());
}

void VeskPanelController::updateKeyState()
{
    const bool key = isPanelKey();
    if (key == m_windowState->isActive())
        return;
    m_windowState->setActive(key);
    if (key && onBecameKey)
        onBecameKey();
}

bool VeskPanelController::isPanelKey() const
{
    // The window system's focus, not Qt's record of it, which lags behind and can miss a change.
    return m_panel && m_host && m_host->currentPage() == m_panel && WindowActivation::hasInputFocus(m_host);
}

void VeskPanelController::showPanel()
{
    if (!m_panel) {
        buildWindow();
        if (m_didRestoreSavedFrame)
            ScreenFit::clamp(m_host);
        else
            ScreenFit::centre(m_host, ScreenFit::screenForNewWindow());
    }
    observeHost();
    refreshWindowTitles();
    syncToolbarAndSearchField();
    // The key state is left to updateKeyState: setting it here first would swallow the change to
    // key of a window that has the focus already, and the controller would not hear of it.
    m_host->setCurrentPage(m_panel);
    WindowActivation::showAndActivate(m_host);
    updateKeyState();
}

void VeskPanelController::closePanel()
{
    if (!m_panel)
        return;
    saveFrame();
    for (const auto& connection : std::as_const(m_hostConnections))
        disconnect(connection);
    m_hostConnections.clear();
    QPointer<PanelTabHost> host = m_host;
    QWidget* page = m_panel;
    if (host) {
        host->removePage(page);
        if (host->count() == 0) {
            host->hide();
            host->deleteLater();
        }
    }
    page->hide();
    page->setParent(nullptr);
    page->deleteLater();
    m_panel = nullptr;
    m_host = nullptr;
    m_windowState->setActive(false);
}

QList<QWidget*> VeskPanelController::tabbedPanelWindows() const
{
    if (!m_panel)
        return {};
    if (!m_host)
        return {m_panel.data()};
    return m_host->pages();
}

void VeskPanelController::insertTab(VeskPanelController* other, int index)
{
    if (!other || other == this || !m_panel || !other->m_panel || m_panel == other->m_panel || !m_host)
        return;
    PanelTabHost* oldHost = other->m_host;
    if (oldHost == m_host) {
        m_host->movePage(other->m_panel, index);
    } else {
        if (oldHost) {
            oldHost->removePage(other->m_panel);
            if (oldHost->count() == 0) {
                oldHost->hide();
                oldHost->deleteLater();
            }
        }
        m_host->insertPage(index, other->m_panel);
        other->m_host = m_host;
    }
    // The tab group shows only its current page; showing any other would lay it over the current
    // one and let it take that page's keys.
    if (m_host->currentPage() == other->m_panel)
        other->m_panel->show();
    observeHost();
    other->observeHost();
    if (onTabOrderChanged)
        onTabOrderChanged();
    refreshWindowTitlesDeferred();
    other->refreshWindowTitlesDeferred();
}

void VeskPanelController::applyTabOrder(const QList<VeskPanelController*>& controllers)
{
    if (!m_host)
        return;
    QList<QWidget*> windows;
    for (VeskPanelController* controller : controllers) {
        if (controller && controller->m_panel)
            windows << controller->m_panel;
    }
    if (windows.isEmpty())
        return;
    for (int i = 0; i < windows.size(); ++i) {
        if (m_host->indexOf(windows[i]) >= 0)
            m_host->movePage(windows[i], i);
    }
    observeHost();
    for (VeskPanelController* controller : controllers) {
        if (!controller)
            continue;
        controller->observeHost();
        controller->refreshWindowTitles();
        QPointer<VeskPanelController> target(controller);
        m_scheduler->schedule(0, controller, [target] {
            if (target)
                target->refreshWindowTitles();
        });
    }
    if (onTabOrderChanged)
        onTabOrderChanged();
}

// The key that asks for another tab is still being delivered when it is decided (its shortcut
// override comes first, its press follows); switching at once would hand the press to the page
// now shown, whose own key handling would switch straight back. So the switch waits for it.
void VeskPanelController::selectNextTab()
{
    QPointer<PanelTabHost> host(m_host);
    m_scheduler->schedule(0, this, [host] {
        if (host)
            host->selectNextTab();
    });
}

void VeskPanelController::selectPreviousTab()
{
    QPointer<PanelTabHost> host(m_host);
    m_scheduler->schedule(0, this, [host] {
        if (host)
            host->selectPreviousTab();
    });
}

void VeskPanelController::applyTitle(VeskPanelController* controller)
{
    if (!controller || !controller->m_panel || !controller->m_host)
        return;
    const VeskDocumentController* document = controller->m_documentController;
    const QString name = titleFor(document);
    const QString toolTip = document && document->hasSelectedFile()
        ? VeskDocumentController::localPath(document->selectedFileURL())
        : name;
    controller->m_host->setPageTitle(controller->m_panel, name, toolTip);
}

void VeskPanelController::refreshWindowTitles()
{
    applyTitle(this);
    for (QWidget* page : tabbedPanelWindows()) {
        VeskPanelController* other = controllerFor(page);
        if (other && other != this)
            applyTitle(other);
    }
}

void VeskPanelController::refreshWindowTitlesDeferred()
{
    refreshWindowTitles();
    QPointer<VeskPanelController> self(this);
    m_scheduler->schedule(0, this, [self] {
        if (!self)
            return;
        self->refreshWindowTitles();
        if (self->m_host)
            self->m_host->update();
    });
}

void VeskPanelController::syncToolbarAndSearchField()
{
    if (!m_documentController)
        return;
    const bool hasFile = m_documentController->hasSelectedFile();
    if (m_toolbar)
        m_toolbar->setVisible(hasFile);
    if (!hasFile && isSearchFieldFocused())
        resignSearchFieldFocus();
    const QString& query = m_documentController->sessionController()->filterQuery();
    if (m_searchField && !isSearchFieldFocused() && m_searchField->text() != query) {
        m_settingSearchText = true;
        m_searchField->setText(query);
        m_settingSearchText = false;
    }
}

void VeskPanelController::focusSearchField()
{
    if (!m_panel || !m_searchField)
        return;
    m_searchField->setFocus(Qt::ShortcutFocusReason);
    QPointer<QLineEdit> field(m_searchField);
    m_scheduler->schedule(0, this, [field] {
        if (field) {
            field->deselect();
            field->setCursorPosition(int(field->text().size()));
        }
    });
}

void VeskPanelController::resignSearchFieldFocus()
{
    if (!m_panel)
        return;
    if (m_searchField && m_searchField->hasFocus())
        m_searchField->clearFocus();
    QPointer<VeskPanelRootView> root(m_rootView);
    m_scheduler->schedule(0, this, [root] {
        if (root)
            root->focusContent();
    });
}

bool VeskPanelController::isSearchFieldFocused() const
{
    return m_panel && m_searchField && m_searchField->hasFocus();
}

bool VeskPanelController::windowShouldClose()
{
    if (onCloseRequested)
        onCloseRequested();
    return false;
}

bool VeskPanelController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_searchField && event->type() == QEvent::Paint
        && !m_searchField->isClearButtonEnabled()) {
        const QPointer<QLineEdit> field(m_searchField);
        m_scheduler->schedule(0, this, [field] {
            if (field)
                field->setClearButtonEnabled(true);
        });
        return false;
    }
    // A hidden panel can still be activated for a moment, by a focus event the window system sent
    // before it heard of the hiding. Qt then hands the focus on from the hidden list to the next
    // widget, this field, which would keep it when the panel is shown again: it goes back.
    if (watched == m_searchField && event->type() == QEvent::FocusIn && m_rootView
        && static_cast<QFocusEvent*>(event)->reason() == Qt::ActiveWindowFocusReason
        && !m_searchField->isVisible()) {
        m_rootView->focusContent();
        return false;
    }
    if (watched != m_searchField || event->type() != QEvent::KeyPress || !m_documentController)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    SessionController* session = m_documentController->sessionController();
    switch (key->key()) {
    case Qt::Key_Escape:
        session->setFilterQuery(QString());
        m_settingSearchText = true;
        m_searchField->clear();
        m_settingSearchText = false;
        resignSearchFieldFocus();
        return true;
    case Qt::Key_Up:
        session->moveSelection(-1);
        return true;
    case Qt::Key_Down:
        session->moveSelection(+1);
        return true;
    default:
        return false;
    }
}
