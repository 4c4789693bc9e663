#include "panel/VeskPanelRootView.h"

#include "panel/DocumentColorShades.h"
#include "panel/GrowingTextView.h"
#include "panel/PanelKeyHandler.h"
#include "panel/PanelKeyboardMonitor.h"
#include "panel/PanelStatusLine.h"
#include "panel/PanelStyle.h"
#include "panel/PanelWelcomeView.h"
#include "panel/TaskListView.h"
#include "panel/WindowState.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

VeskPanelRootView::VeskPanelRootView(VeskDocumentController* documentController, WindowState* windowState,
    Scheduler* scheduler, QWidget* parent)
    : QWidget(parent), m_documentController(documentController), m_windowState(windowState)
{
    m_stack = new QStackedLayout(this);

    m_listPage = new QWidget(this);
    auto* column = new QVBoxLayout(m_listPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_list = new TaskListView(documentController->sessionController(), scheduler, m_listPage);
    m_status = new PanelStatusLine(m_listPage);
    column->addWidget(m_list, 1);
    column->addWidget(m_status);
    m_stack->addWidget(m_listPage);

    QPointer<VeskDocumentController> controller(documentController);
    // A long list's old rows and tasks are freed on the writer, not in the frame that shows the new.
    m_list->setRelease([controller](std::shared_ptr<const void> released) {
        if (controller)
            controller->freeOnWriter(std::move(released));
    });
    // After a cancelled alert, the status line is the way back to the recovery choices. Queued, so
    // that the alert does not run inside the click.
    connect(
        m_status, &PanelStatusLine::resolveRequested, this,
        [controller] {
            if (controller)
                controller->resolveFileProblem();
        },
        Qt::QueuedConnection);
    m_list->resignSearchFieldFocus = [this] { emit resignSearchFieldFocusRequested(); };

    m_keyboardMonitor = new PanelKeyboardMonitor(this, this);
    m_keyHandler = new PanelKeyHandler(documentController->sessionController(), scheduler, this, this);
    m_keyHandler->setListView(m_list);
    m_keyHandler->isSearchFieldFocused = [this] { return isSearchFieldFocused(); };
    connect(m_keyHandler, &PanelKeyHandler::searchFieldFocusRequested, this,
        &VeskPanelRootView::focusSearchFieldRequested);
    connect(
        m_keyHandler, &PanelKeyHandler::previousTabRequested, this, &VeskPanelRootView::previousTabRequested);
    connect(m_keyHandler, &PanelKeyHandler::nextTabRequested, this, &VeskPanelRootView::nextTabRequested);
    connect(m_keyHandler, &PanelKeyHandler::keyboardControlsToggleRequested, this,
        &VeskPanelRootView::keyboardControlsToggleRequested);
    onKeyDown = [this](QKeyEvent* event) { return m_keyHandler->handleKeyDown(event); };
    m_keyboardMonitor->onKeyDown = [this](QKeyEvent* event) { return onKeyDown ? onKeyDown(event) : false; };

    connect(documentController, &VeskDocumentController::selectedFileURLChanged, this,
        &VeskPanelRootView::refresh);
    connect(
        documentController, &VeskDocumentController::documentColorChanged, this, &VeskPanelRootView::refresh);
    connect(documentController, &VeskDocumentController::syncStateChanged, this, &VeskPanelRootView::refresh);
    connect(documentController, &VeskDocumentController::appStatusChanged, this, &VeskPanelRootView::refresh);
    connect(documentController->sessionController(), &SessionController::workingItemIDsChanged, this,
        [this] { m_status->setWorkingCount(sessionController()->workingItemIDs().size()); });
    if (windowState) {
        connect(windowState, &WindowState::isActiveChanged, m_list, &TaskListView::setWindowActive);
        m_list->setWindowActive(windowState->isActive());
    }
    refresh();
}

VeskPanelRootView::~VeskPanelRootView() = default;

SessionController* VeskPanelRootView::sessionController() const
{
    return m_list->session();
}

bool VeskPanelRootView::isShowingWelcome() const
{
    return m_welcome && m_stack->currentWidget() == m_welcome;
}

void VeskPanelRootView::buildWelcomeIfNeeded()
{
    if (m_welcome)
        return;
    m_welcome = new PanelWelcomeView(this);
    m_stack->insertWidget(0, m_welcome);
    connect(m_welcome, &PanelWelcomeView::newFileRequested, m_documentController.data(),
        &VeskDocumentController::chooseAndCreateFile);
    connect(m_welcome, &PanelWelcomeView::openFileRequested, m_documentController.data(),
        &VeskDocumentController::chooseAndOpenFile);
}

void VeskPanelRootView::refresh()
{
    if (!m_documentController)
        return;
    const bool hasFile = m_documentController->hasSelectedFile();
    if (!hasFile)
        buildWelcomeIfNeeded();
    m_stack->setCurrentWidget(hasFile ? static_cast<QWidget*>(m_listPage) : m_welcome);
    m_list->setDocumentColor(
        DocumentColorShades::color(m_documentController->documentColor(), PanelStyle::isDark(palette())));
    const SyncState state = m_documentController->syncState();
    // While the file is read again, nothing is typed into the list it replaces, and the status line
    // says that it is being reloaded rather than offering the choices already made.
    const bool reloading = m_documentController->isReloading();
    m_list->setInputEditable(
        !reloading && (state == SyncState::inSync || state == SyncState::externallyModifiedReloadable));
    m_status->setWorkingCount(sessionController()->workingItemIDs().size());
    m_status->setStatus(
        m_documentController->appStatus(), reloading ? SyncState::externallyModifiedReloadable : state);
}

void VeskPanelRootView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The document colour has a light and a dark shade.
    if (event->type() == QEvent::PaletteChange)
        refresh();
}

void VeskPanelRootView::focusContent()
{
    if (isShowingWelcome()) {
        m_welcome->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (m_list->inlineEditor())
        m_list->inlineEditor()->setFocus(Qt::OtherFocusReason);
    else if (m_list->inputEditor())
        m_list->inputEditor()->setFocus(Qt::OtherFocusReason);
    else
        m_list->setFocus(Qt::OtherFocusReason);
}
