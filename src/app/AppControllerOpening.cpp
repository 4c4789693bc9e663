// Opening a list in a running Vesk: the document reads its file on its writer's thread, and only
// once the list is ready does it become a context with a panel, joined to the latest window.
#include "app/AppController.h"

#include "app/DocumentFileURL.h"
#include "panel/VeskPanelController.h"

#include <QGuiApplication>
#include <QScopeGuard>

void AppController::openDocumentInBackground(
    const QUrl& requestedURL, bool alreadyAccessing, VeskDocumentController::PlainText plainText)
{
    const QUrl url = normalizedFileURL(requestedURL);
    if (const std::optional<DocumentContext> existing = contextForFile(url)) {
        addRecentFile(url);
        setActiveDocumentController(existing->documentController);
        showDocumentPanel(existing->panelController);
        return;
    }
    // Asked for again while it is read (a second double-click): it comes forward when it is ready; a
    // panel reading it for itself (its welcome view's "Open…") comes forward now.
    if (VeskDocumentController* opening = documentOpening(url)) {
        if (const std::optional<DocumentContext> context = contextForDocument(opening)) {
            setActiveDocumentController(opening);
            showDocumentPanel(context->panelController);
        }
        return;
    }
    auto* document = new VeskDocumentController(m_services.dialogs, m_services.scheduler, this);
    m_openingDocuments.append(document);
    updateBusyPointer();
    const QPointer<AppController> self(this);
    const QPointer<VeskDocumentController> weakDocument(document);
    document->openDocumentInBackground(url, alreadyAccessing, plainText,
        [self, weakDocument, url, inputWhenAsked = m_userInput.count()](
            const std::optional<DocumentControllerFailure>& failure) {
            if (self && weakDocument)
                self->finishOpeningDocument(weakDocument, url, inputWhenAsked, failure);
        });
}

void AppController::finishOpeningDocument(VeskDocumentController* document, const QUrl& url,
    quint64 inputWhenAsked, const std::optional<DocumentControllerFailure>& failure)
{
    m_openingDocuments.removeAll(document);
    m_openingDocuments.removeAll(nullptr);
    updateBusyPointer();
    if (failure) {
        document->stopFileAccess();
        document->deleteLater();
        presentFileProblem(describeFailure(*failure));
        return;
    }
    // The list joins the open lists and the recent files: one write of the settings for both.
    ++m_settingsBatches;
    const auto batch = qScopeGuard([this] { endSettingsBatch(); });
    const DocumentContext context = makeDocumentContext(document);
    // A user who went on typing or clicking while the list was read keeps the list and window in
    // front: the new list waits as a tab behind, where keys still being typed cannot land on it.
    const bool userWentOn = m_userInput.count() != inputWhenAsked;
    const bool joinedAWindow = attachAsTabToLatestWindow(context, !userWentOn);
    addRecentFile(url);
    persistOpenDocumentsIfChanged();
    if (joinedAWindow && userWentOn)
        return;
    setActiveDocumentController(context.documentController);
    showDocumentPanel(context.panelController);
}

void AppController::finishOpeningDocuments()
{
    while (!m_openingDocuments.isEmpty()) {
        const QPointer<VeskDocumentController> document = m_openingDocuments.constFirst();
        if (document)
            document->waitForWrites();
        // Its answer was taken in (it is no longer listed), or it never comes: dropped.
        if (!m_openingDocuments.isEmpty() && m_openingDocuments.constFirst() == document) {
            m_openingDocuments.removeFirst();
            updateBusyPointer();
            if (document)
                document->deleteLater();
        }
    }
}

void AppController::cancelOpeningDocuments()
{
    const QList<QPointer<VeskDocumentController>> documents = std::exchange(m_openingDocuments, {});
    for (const QPointer<VeskDocumentController>& document : documents) {
        if (!document)
            continue;
        document->cancelOpening();
        document->deleteLater();
    }
    // A panel reading a file for itself stays as it was, without the file.
    for (const DocumentContext& context : orderedContexts()) {
        if (context.documentController)
            context.documentController->cancelOpening();
    }
    updateBusyPointer();
}

void AppController::updateBusyPointer()
{
    bool busy = !m_openingDocuments.isEmpty();
    for (const DocumentContext& context : std::as_const(m_documentContexts))
        busy = busy || (context.documentController && context.documentController->isOpening());
    if (busy == m_showsBusyPointer)
        return;
    m_showsBusyPointer = busy;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}
