#include "app/AppController.h"

#include "app/DeferredStartup.h"
#include "platform/gui/ScreenFit.h"

#include "panel/VeskPanelController.h"
#include "panel/WindowState.h"
#include "platform/DialogPresenter.h"
#include "platform/FileRevealer.h"
#include "platform/SettingsStore.h"
#include "session/SessionController.h"
#include "shortcuts/GlobalShortcuts.h"
#include "sync/VeskDocumentController.h"
#include "windows/KeyboardControlsPanelController.h"
#include "windows/WelcomeWindowController.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QSessionManager>
#include <QWindow>

#include <utility>

namespace {
QPointer<AppController> sharedController;
} // namespace

AppController::AppController(SettingsStore& settings, Services services, QObject* parent)
    : QObject(parent), m_settings(settings), m_services(std::move(services))
{
    // Before the shortcut is registered, which is put off as well.
    const QPointer<AppController> self(this);
    runAfterFirstFrame([self] {
        if (self)
            self->migrateLegacyGlobalHotKey();
    });
    sharedController = this;
    loadRecentFiles();
}

AppController::~AppController()
{
    for (const DocumentContext& context : orderedContexts()) {
        if (context.documentController)
            context.documentController->stopFileAccess();
        if (context.panelController)
            context.panelController->closePanel();
    }
    for (const QMetaObject::Connection& connection : std::as_const(m_appLifecycleCancellables))
        disconnect(connection);
    if (m_showsBusyPointer)
        QGuiApplication::restoreOverrideCursor();
}

AppController* AppController::shared()
{
    return sharedController;
}

WelcomeWindowController* AppController::welcomeWindowController()
{
    if (!m_welcomeWindowController) {
        const QPointer<AppController> self(this);
        m_welcomeWindowController = new WelcomeWindowController(
            [self] {
                if (self)
                    self->newDocumentFile();
            },
            [self] {
                if (self)
                    self->chooseFileToOpen();
            },
            this);
        connect(m_welcomeWindowController, &WelcomeWindowController::windowBuilt, this,
            &AppController::windowNeedsMenuBar);
    }
    return m_welcomeWindowController;
}

KeyboardControlsPanelController* AppController::keyboardControlsPanelController()
{
    if (!m_keyboardControlsPanelController)
        m_keyboardControlsPanelController
            = new KeyboardControlsPanelController(GlobalShortcuts::Name::togglePanel(), this);
    return m_keyboardControlsPanelController;
}

void AppController::startShell(bool openRequestsWaiting, bool inBackground)
{
    if (m_hasStartedShell)
        return;
    m_hasStartedShell = true;
    m_startedInBackground = inBackground;

    // Registering opens a connection of its own to the window system (or the desktop portal).
    const QPointer<AppController> self(this);
    runAfterFirstFrame([self] {
        if (!self)
            return;
        GlobalShortcuts::onKeyUp(GlobalShortcuts::Name::togglePanel(), [self] {
            if (self)
                self->togglePanels();
        });
    });

    if (auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        m_appLifecycleCancellables.append(connect(
            application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && m_activeDocumentController
                    && m_activeDocumentController->hasSelectedFile())
                    m_activeDocumentController->checkForExternalChanges();
            }));
        // Windows moving between tab groups change the stored order without any single call here
        // knowing it; focus moves follow every such change.
        m_appLifecycleCancellables.append(connect(application, &QGuiApplication::focusWindowChanged, this,
            [this] { persistIfOpenDocumentsMoved(); }));
        // The desktop session ends: ask as Quit does when the session manager lets us, and in any case
        // land and write what is still running.
#ifndef QT_NO_SESSIONMANAGER
        m_appLifecycleCancellables.append(
            connect(application, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
                if (!manager.allowsInteraction()) {
                    finishPendingWork();
                    return;
                }
                if (!prepareToQuit())
                    manager.cancel();
                manager.release();
            }));
#endif
        m_appLifecycleCancellables.append(
            connect(application, &QCoreApplication::aboutToQuit, this, [this] { finishPendingWork(); }));
    }

    if (!restoreOpenDocuments(!inBackground)) {
        setActiveDocumentController(nullptr);
        if (!openRequestsWaiting && !inBackground)
            welcomeWindowController()->show();
    }
}

void AppController::showWelcomeWindowIfNothingIsOpen()
{
    if (m_documentContexts.isEmpty() && !m_startedInBackground)
        welcomeWindowController()->show();
}

void AppController::setActiveDocumentController(VeskDocumentController* controller)
{
    m_activeDocumentController = controller;
    emit activeDocumentControllerChanged();
    announceChange();
    persistOpenDocumentsIfChanged();
}

void AppController::runAfterFirstFrame(std::function<void()> job)
{
    if (m_services.startup)
        m_services.startup->defer(std::move(job));
    else
        job();
}

bool AppController::postponeSettingsWrite()
{
    if (!m_services.startup || m_services.startup->isReleased())
        return false;
    if (!m_settingsWritePostponed) {
        m_settingsWritePostponed = true;
        const QPointer<AppController> self(this);
        m_services.startup->defer([self] {
            if (self)
                self->writePostponedSettings();
        });
    }
    return true;
}

void AppController::syncSettings()
{
    if (m_settingsBatches > 0) {
        m_settingsUnsynced = true;
        return;
    }
    m_settings.sync();
}

void AppController::endSettingsBatch()
{
    if (--m_settingsBatches == 0 && std::exchange(m_settingsUnsynced, false))
        m_settings.sync();
}

void AppController::writePostponedSettings()
{
    m_settingsWritePostponed = false;
    if (std::exchange(m_recentFilesUnwritten, false))
        persistRecentFiles();
    if (std::exchange(m_openDocumentsUnwritten, false))
        persistOpenDocuments(m_lastPersistedOpenDocumentURLs, m_lastPersistedActiveURL);
}

void AppController::announceChange()
{
    emit changed();
}

bool AppController::hasActiveFile() const
{
    return m_activeDocumentController && m_activeDocumentController->hasSelectedFile();
}

void AppController::showInFileManager()
{
    if (!hasActiveFile() || !m_services.fileRevealer)
        return;
    m_services.fileRevealer->revealFile(
        VeskDocumentController::localPath(m_activeDocumentController->selectedFileURL()));
}

void AppController::presentFileProblem(const QString& description)
{
    if (m_services.dialogs)
        m_services.dialogs->runAlert(VeskDocumentController::fileProblemMessage(), description, {});
}

void AppController::showPanel(VeskPanelController* panelController)
{
    if (!panelController)
        return;
    panelController->showPanel();
    if (panelController->panel()) {
        emit windowNeedsMenuBar(panelController->panel()->window());
        // The menu bar makes the window taller.
        ScreenFit::clamp(panelController->panel()->window());
    }
}

void AppController::hidePanelWindow(VeskPanelController* panelController)
{
    if (panelController && panelController->panel())
        panelController->panel()->window()->hide();
}

void AppController::showDocumentPanel(VeskPanelController* panelController)
{
    WelcomeWindowController* welcome = welcomeWindowController();
    if (welcome->window() && welcome->isVisible()) {
        showPanel(panelController);
        const QPointer<AppController> self(this);
        const QPointer<WelcomeWindowController> weakWelcome(welcome);
        const QPointer<VeskPanelController> weakPanel(panelController);
        m_services.scheduler->schedule(0, this, [self, weakWelcome, weakPanel] {
            if (!self || !weakWelcome || !weakPanel)
                return;
            weakWelcome->hide();
            self->showPanel(weakPanel);
        });
        return;
    }
    showPanel(panelController);
}

void AppController::comeForward()
{
    const QList<DocumentContext> contexts = contextsActiveLast();
    if (contexts.isEmpty()) {
        welcomeWindowController()->show();
        return;
    }
    for (const DocumentContext& context : contexts)
        showPanel(context.panelController);
}

void AppController::togglePanels()
{
    const QList<DocumentContext> contexts = orderedContexts();
    bool anyPanelKey = false;
    for (const DocumentContext& context : contexts) {
        if (context.panelController && context.panelController->isPanelKey())
            anyPanelKey = true;
    }
    if (anyPanelKey) {
        for (const DocumentContext& context : contexts) {
            if (!context.panelController || !context.documentController)
                continue;
            // What the user asked for just before hiding still lands and is written.
            context.documentController->finishPendingWork();
            context.documentController->sessionController()->resetTransientState();
            context.panelController->syncToolbarAndSearchField();
            hidePanelWindow(context.panelController);
            context.panelController->windowState()->setActive(false);
        }
        return;
    }
    if (contexts.isEmpty()) {
        welcomeWindowController()->toggle();
        return;
    }
    for (const DocumentContext& context : contextsActiveLast())
        showPanel(context.panelController);
}
