#include "app/AppController.h"

#include "app/DocumentFileURL.h"
#include "document/DocumentService.h"
#include "panel/VeskPanelController.h"
#include "platform/DialogPresenter.h"
#include "platform/SettingsStore.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"
#include "windows/KeyboardControlsPanelController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QWidget>

#include <algorithm>

QList<DocumentContext> AppController::orderedContexts() const
{
    QList<DocumentContext> contexts;
    for (const QUuid& id : m_documentContextOrder) {
        const auto found = m_documentContexts.constFind(id);
        if (found != m_documentContexts.constEnd())
            contexts.append(found.value());
    }
    return contexts;
}

QList<DocumentContext> AppController::contextsActiveLast() const
{
    QList<DocumentContext> contexts = orderedContexts();
    for (qsizetype i = 0; i < contexts.size(); ++i) {
        if (m_activeDocumentController && contexts[i].documentController == m_activeDocumentController) {
            contexts.append(contexts.takeAt(i));
            break;
        }
    }
    return contexts;
}

std::optional<DocumentContext> AppController::contextForFile(const QUrl& url) const
{
    // One file is one document: by its path, or, while it exists, by what the path leads to.
    const QUrl wanted = normalizedFileURL(url);
    const auto wantedFile = fileIdentity(wanted);
    for (const DocumentContext& context : orderedContexts()) {
        if (!context.documentController || !context.documentController->hasSelectedFile())
            continue;
        const QUrl open = normalizedFileURL(context.documentController->selectedFileURL());
        if (open == wanted || (wantedFile && fileIdentity(open) == wantedFile))
            return context;
    }
    return std::nullopt;
}

std::optional<DocumentContext> AppController::contextForDocument(
    const VeskDocumentController* controller) const
{
    if (!controller)
        return std::nullopt;
    const auto found = m_documentContexts.constFind(controller->id());
    if (found == m_documentContexts.constEnd())
        return std::nullopt;
    return found.value();
}

VeskDocumentController* AppController::documentOpening(const QUrl& url) const
{
    const QUrl wanted = normalizedFileURL(url);
    const auto wantedFile = fileIdentity(wanted);
    const auto opens = [&](const VeskDocumentController* document) {
        if (!document || !document->isOpening())
            return false;
        const QUrl opening = normalizedFileURL(document->openingURL());
        return opening == wanted || (wantedFile && fileIdentity(opening) == wantedFile);
    };
    for (const QPointer<VeskDocumentController>& document : m_openingDocuments) {
        if (opens(document))
            return document;
    }
    // A panel reading a file for itself (its welcome view's "Open…").
    for (const DocumentContext& context : orderedContexts()) {
        if (opens(context.documentController))
            return context.documentController;
    }
    return nullptr;
}

DocumentContext AppController::makeDocumentContext(VeskDocumentController* documentController)
{
    if (!documentController)
        documentController = new VeskDocumentController(m_services.dialogs, m_services.scheduler, this);
    SessionController* session = documentController->sessionController();
    if (m_services.pasteboard)
        session->setPasteboard(m_services.pasteboard);
    if (m_services.urlOpener)
        session->setUrlOpener(m_services.urlOpener);

    const QPointer<AppController> self(this);
    const QPointer<VeskDocumentController> weakDocument(documentController);
    documentController->onSelectedFileURLChange = [self, weakDocument](const QUrl&) {
        if (self && weakDocument)
            self->handleSelectedFileURLChange(weakDocument);
    };
    documentController->defaultDialogFolder = [self] { return self ? self->dialogFolder() : QString(); };
    documentController->runAfterLaunch = [self](std::function<void()> job) {
        if (self)
            self->runAfterFirstFrame(std::move(job));
    };
    documentController->isFileOpenElsewhere = [self, weakDocument](const QUrl& url) {
        if (!self)
            return false;
        const std::optional<DocumentContext> open = self->contextForFile(url);
        const VeskDocumentController* opening = self->documentOpening(url);
        return (open && open->documentController != weakDocument) || (opening && opening != weakDocument);
    };
    connect(
        documentController, &VeskDocumentController::openingChanged, this, &AppController::updateBusyPointer);

    auto* panelController = new VeskPanelController(documentController, m_services.scheduler, this);
    panelController->onBecameKey = [self, weakDocument] {
        if (self && weakDocument)
            self->handleDocumentBecameKey(weakDocument);
    };
    // Before the window is first shown: a menu bar added to a shown window appears a frame later
    // and pushes the list down.
    connect(panelController, &VeskPanelController::windowBuilt, this, &AppController::windowNeedsMenuBar);
    connect(panelController, &VeskPanelController::keyboardControlsToggleRequested, this,
        [this] { keyboardControlsPanelController()->toggle(); });
    panelController->onTabOrderChanged = [self] {
        if (self)
            self->persistIfOpenDocumentsMoved();
    };
    const QUuid id = documentController->id();
    panelController->onCloseRequested = [self, id] {
        if (self)
            self->requestCloseDocument(id);
    };

    const DocumentContext context {documentController, panelController};
    m_documentContexts.insert(id, context);
    m_documentContextOrder.removeAll(id);
    m_documentContextOrder.append(id);

    m_sessionChangeCancellables.insert(
        id, connect(session, &SessionController::changed, this, [this, weakDocument] {
            if (weakDocument && weakDocument == m_activeDocumentController)
                announceChange();
        }));
    return context;
}

void AppController::handleSelectedFileURLChange(VeskDocumentController* controller)
{
    if (controller->hasSelectedFile())
        m_lastDialogFolder = QFileInfo(controller->selectedFileURL().toLocalFile()).absolutePath();
    persistOpenDocumentsIfChanged();
    if (controller == m_activeDocumentController)
        announceChange();
}

void AppController::handleDocumentBecameKey(VeskDocumentController* controller)
{
    // One window has the focus. A panel that lost it unnoticed (Qt reported this window's
    // activation before the focus watcher saw the other lose the focus) must not stay key, or
    // getting the focus back would not make it active again.
    for (const DocumentContext& context : orderedContexts()) {
        if (context.documentController != controller && context.panelController
            && context.panelController->windowState()->isActive())
            context.panelController->windowState()->setActive(false);
    }
    if (controller != m_activeDocumentController)
        setActiveDocumentController(controller);
    if (controller->hasSelectedFile())
        controller->checkForExternalChanges();
}

void AppController::persistIfOpenDocumentsMoved()
{
    if (m_isRestoringOpenDocuments)
        return;
    const QList<QUrl> urls = currentOpenDocumentURLs();
    const QUrl activeURL = activeDocumentURL(urls);
    if (urls != m_lastPersistedOpenDocumentURLs || activeURL != m_lastPersistedActiveURL) {
        m_lastPersistedOpenDocumentURLs = urls;
        m_lastPersistedActiveURL = activeURL;
        persistOpenDocuments(urls, activeURL);
    }
}

void AppController::persistOpenDocumentsIfChanged()
{
    persistIfOpenDocumentsMoved();
}

bool AppController::openDocumentAtURL(
    const QUrl& requestedURL, bool alreadyAccessing, VeskDocumentController::PlainText plainText)
{
    const QUrl url = normalizedFileURL(requestedURL);
    // The same file asked for while it is on its way: one document, ready first.
    if (VeskDocumentController* opening = documentOpening(url)) {
        if (contextForDocument(opening))
            opening->waitForWrites();
        else
            finishOpeningDocuments();
    }
    if (const std::optional<DocumentContext> existing = contextForFile(url)) {
        addRecentFile(url);
        setActiveDocumentController(existing->documentController);
        showDocumentPanel(existing->panelController);
        return true;
    }
    const DocumentContext context = makeDocumentContext();
    if (const auto failure = context.documentController->openDocument(url, alreadyAccessing, plainText)) {
        closeDocument(context.documentController->id());
        presentFileProblem(describeFailure(*failure));
        return false;
    }
    attachAsTabToLatestWindow(context);
    addRecentFile(url);
    persistOpenDocumentsIfChanged();
    setActiveDocumentController(context.documentController);
    showDocumentPanel(context.panelController);
    return true;
}

bool AppController::attachAsTabToLatestWindow(const DocumentContext& context, bool bringsWindowForward)
{
    QList<DocumentContext> others = orderedContexts();
    others.removeIf(
        [&](const DocumentContext& other) { return other.documentController == context.documentController; });
    if (others.isEmpty())
        return false;
    VeskPanelController* latest = others.last().panelController;
    if (!latest)
        return false;
    if (bringsWindowForward)
        showPanel(latest);
    // The new page goes straight into the other window: a window of its own shown only to be
    // merged away would flicker and leave the window system's focus out of step with Qt's.
    context.panelController->buildWindowIfNeeded();
    latest->insertTab(context.panelController, int(latest->tabbedPanelWindows().size()));
    if (latest->panel())
        emit windowNeedsMenuBar(latest->panel()->window());
    return true;
}

void AppController::newDocumentFile()
{
    if (!m_services.dialogs)
        return;
    const QString path = m_services.dialogs->chooseFileToSave(VeskDocumentController::defaultFileName(),
        DocumentService::saveFileFilters(), DocumentService::veskFileSuffix(), dialogFolder());
    if (path.isEmpty())
        return;
    m_lastDialogFolder = QFileInfo(path).absolutePath();
    const QUrl url = normalizedFileURL(QUrl::fromLocalFile(path));
    // Writing the template there would wipe out an open list and leave two documents on one file.
    if (const std::optional<DocumentContext> open = contextForFile(url)) {
        setActiveDocumentController(open->documentController);
        showDocumentPanel(open->panelController);
        presentFileProblem(VeskDocumentController::fileIsOpenMessage());
        return;
    }
    if (documentOpening(url)) {
        presentFileProblem(VeskDocumentController::fileIsOpenMessage());
        return;
    }
    const DocumentContext context = makeDocumentContext();
    if (const auto failure = context.documentController->createDocument(url)) {
        closeDocument(context.documentController->id());
        presentFileProblem(describeFailure(*failure));
        return;
    }
    addRecentFile(url);
    persistOpenDocumentsIfChanged();
    setActiveDocumentController(context.documentController);
    showDocumentPanel(context.panelController);
}

void AppController::chooseFileToOpen()
{
    if (!m_services.dialogs)
        return;
    const QString path
        = m_services.dialogs->chooseFileToOpen(DocumentService::openFileFilters(), dialogFolder());
    if (path.isEmpty())
        return;
    m_lastDialogFolder = QFileInfo(path).absolutePath();
    openDocumentInBackground(
        QUrl::fromLocalFile(path), false, VeskDocumentController::PlainText::offerImport);
}

QString AppController::dialogFolder() const
{
    if (hasActiveFile())
        return QFileInfo(m_activeDocumentController->selectedFileURL().toLocalFile()).absolutePath();
    return m_lastDialogFolder;
}

void AppController::closeDocument(const QUuid& id)
{
    const auto found = m_documentContexts.constFind(id);
    if (found == m_documentContexts.constEnd())
        return;
    const DocumentContext context = found.value();
    const bool wasKey = context.panelController && context.panelController->isPanelKey();
    m_documentContexts.remove(id);
    m_documentContextOrder.removeAll(id);
    if (context.documentController)
        context.documentController->stopFileAccess();
    if (context.documentController == m_activeDocumentController) {
        const QList<DocumentContext> remaining = orderedContexts();
        setActiveDocumentController(
            remaining.isEmpty() ? nullptr : remaining.first().documentController.data());
    }
    if (const QMetaObject::Connection connection = m_sessionChangeCancellables.take(id))
        disconnect(connection);
    if (context.panelController) {
        context.panelController->closePanel();
        context.panelController->deleteLater();
    }
    // The document made active is also the one shown, or the tab that happens to come forward in
    // its place would become key and take over as the active document.
    if (wasKey && m_activeDocumentController) {
        if (const std::optional<DocumentContext> active = contextForDocument(m_activeDocumentController))
            showPanel(active->panelController);
    }
    if (context.documentController)
        context.documentController->deleteLater();
    persistOpenDocumentsIfChanged();
}

bool AppController::requestCloseDocument(const QUuid& id)
{
    const auto found = m_documentContexts.constFind(id);
    if (found == m_documentContexts.constEnd())
        return false;
    const QPointer<VeskDocumentController> document = found->documentController;
    if (document && !document->prepareToClose())
        return false;
    // The alert's modal loop may have let another request close it already.
    if (!m_documentContexts.contains(id))
        return false;
    closeDocument(id);
    return true;
}

void AppController::finishPendingWork()
{
    // The session ends: a list still being read is not shown any more (it is not among the open
    // lists either, and nothing of it needs writing).
    cancelOpeningDocuments();
    finishDocumentsWork();
}

void AppController::finishDocumentsWork()
{
    for (const DocumentContext& context : orderedContexts()) {
        if (context.documentController)
            context.documentController->finishPendingWork();
    }
}

bool AppController::prepareToQuit()
{
    // Lists still being opened are dropped only once the quit is certain (see quit).
    finishDocumentsWork();
    // The document in front of the user is asked about first.
    QList<DocumentContext> contexts = contextsActiveLast();
    std::reverse(contexts.begin(), contexts.end());
    for (const DocumentContext& context : std::as_const(contexts)) {
        const QPointer<VeskDocumentController> document = context.documentController;
        if (!document || !document->hasChangesOnlyInSession())
            continue;
        setActiveDocumentController(document);
        showDocumentPanel(context.panelController);
        if (!document || !document->prepareToClose())
            return false;
    }
    return true;
}

void AppController::quit()
{
    if (!prepareToQuit())
        return;
    cancelOpeningDocuments();
    if (exitApplication)
        exitApplication();
    else
        QCoreApplication::exit(0);
}

QList<QUrl> AppController::currentOpenDocumentURLs() const
{
    QList<QUrl> urls;
    QSet<QUuid> listed;
    QSet<const QWidget*> visitedGroups;
    const QList<DocumentContext> contexts = contextsActiveLast();
    for (const DocumentContext& context : contexts) {
        if (!context.panelController || !context.panelController->panel())
            continue;
        const QWidget* group = context.panelController->panel()->window();
        if (visitedGroups.contains(group))
            continue;
        visitedGroups.insert(group);
        for (const QWidget* window : context.panelController->tabbedPanelWindows()) {
            for (const DocumentContext& member : contexts) {
                if (!member.panelController || member.panelController->panel() != window)
                    continue;
                const QUuid id = member.documentController->id();
                if (!listed.contains(id) && member.documentController->hasSelectedFile()) {
                    urls.append(member.documentController->selectedFileURL());
                    listed.insert(id);
                }
                break;
            }
        }
    }
    for (const DocumentContext& context : contexts) {
        if (!context.documentController)
            continue;
        const QUuid id = context.documentController->id();
        if (!listed.contains(id) && context.documentController->hasSelectedFile()) {
            urls.append(context.documentController->selectedFileURL());
            listed.insert(id);
        }
    }
    return urls;
}

QUrl AppController::activeDocumentURL(const QList<QUrl>& urls) const
{
    if (!hasActiveFile() || !urls.contains(m_activeDocumentController->selectedFileURL()))
        return QUrl();
    return m_activeDocumentController->selectedFileURL();
}

void AppController::persistOpenDocuments(const QList<QUrl>& urls, const QUrl& activeURL)
{
    if (postponeSettingsWrite()) {
        m_openDocumentsUnwritten = true;
        return;
    }
    QStringList paths;
    for (const QUrl& url : urls) {
        if (const std::optional<QString> path = storedPathForURL(url))
            paths.append(*path);
    }
    if (paths.isEmpty())
        m_settings.remove(openDocumentsKey());
    else
        m_settings.setValue(openDocumentsKey(), paths);
    const std::optional<QString> active = activeURL.isEmpty() ? std::nullopt : storedPathForURL(activeURL);
    if (active && !paths.isEmpty())
        m_settings.setValue(activeDocumentKey(), *active);
    else
        m_settings.remove(activeDocumentKey());
    syncSettings();
}

bool AppController::restoreOpenDocuments(bool showWindows)
{
    const std::optional<QStringList> stored = storedPaths(openDocumentsKey());
    if (!stored || stored->isEmpty())
        return false;
    m_isRestoringOpenDocuments = true;

    QList<DocumentContext> kept;
    for (const QString& path : *stored) {
        const std::optional<QUrl> url = resolveStoredPath(path);
        if (!url)
            continue;
        // A file listed twice, or under two names, comes back once.
        if (contextForFile(*url))
            continue;
        const DocumentContext context = makeDocumentContext();
        if (context.documentController->openDocument(*url, true)) {
            closeDocument(context.documentController->id());
            continue;
        }
        kept.append(context);
    }

    if (kept.isEmpty()) {
        m_isRestoringOpenDocuments = false;
        m_settings.remove(openDocumentsKey());
        m_settings.remove(activeDocumentKey());
        m_settings.sync();
        return false;
    }

    // Only the first window is shown; the others' pages join it directly (see attachAsTabToLatestWindow).
    if (showWindows)
        showPanel(kept.first().panelController);
    for (const DocumentContext& context : std::as_const(kept))
        context.panelController->buildWindowIfNeeded();
    VeskPanelController* base = kept.first().panelController;
    QList<VeskPanelController*> panels;
    for (const DocumentContext& context : std::as_const(kept))
        panels.append(context.panelController);
    for (int i = 1; i < kept.size(); ++i)
        base->insertTab(panels[i], i);
    base->applyTabOrder(panels);

    // The document that was active in the last run is active again; without a record, the last.
    DocumentContext active = kept.last();
    const QVariant storedActive = m_settings.value(activeDocumentKey());
    if (const std::optional<QUrl> activeURL = resolveStoredPath(storedActive.toString())) {
        for (const DocumentContext& context : std::as_const(kept)) {
            if (context.documentController->selectedFileURL() == *activeURL)
                active = context;
        }
    }
    setActiveDocumentController(active.documentController);
    if (showWindows)
        showPanel(active.panelController);

    // Titles are refreshed again once the tabs have settled in their window.
    QList<QPointer<VeskPanelController>> weakPanels;
    for (VeskPanelController* panel : std::as_const(panels)) {
        panel->refreshWindowTitles();
        weakPanels.append(panel);
    }
    Scheduler* scheduler = m_services.scheduler;
    const QPointer<AppController> self(this);
    scheduler->schedule(0, this, [weakPanels, scheduler, self] {
        for (const auto& panel : weakPanels) {
            if (panel)
                panel->refreshWindowTitlesDeferred();
        }
        if (!self)
            return;
        scheduler->schedule(0, self, [weakPanels] {
            for (const auto& panel : weakPanels) {
                if (panel) {
                    panel->refreshWindowTitles();
                    panel->refreshWindowTitlesDeferred();
                }
            }
        });
    });

    m_isRestoringOpenDocuments = false;
    persistOpenDocumentsIfChanged();
    return true;
}
