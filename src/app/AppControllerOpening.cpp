// Opening a list in a running Vesk: the document reads its file on its writer's thread, and only
// once the list is ready does it become a context with a panel, joined to the latest window.
#include "app/AppController.h"

#include "app/DocumentFileURL.h"
#include "panel/VeskPanelController.h"

#include <QGuiApplication>

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
    // Asked for again while it is read (a second double-click): it comes forward when it is ready.
    if (documentOpening(url))
        return;
    auto* document = new VeskDocumentController(m_services.dialogs, m_services.scheduler, this);
    if (m_openingDocuments.isEmpty())
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    m_openingDocuments.append(document);
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
    if (m_openingDocuments.isEmpty())
        QGuiApplication::restoreOverrideCursor();
    if (failure) {
        document->stopFileAccess();
        document->deleteLater();
        presentFileProblem(describeFailure(*failure));
        return;
    }
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
            if (m_openingDocuments.isEmpty())
                QGuiApplication::restoreOverrideCursor();
            if (document)
                document->deleteLater();
        }
    }
}

void AppController::cancelOpeningDocuments()
{
    if (m_openingDocuments.isEmpty())
        return;
    const QList<QPointer<VeskDocumentController>> documents = std::exchange(m_openingDocuments, {});
    QGuiApplication::restoreOverrideCursor();
    for (const QPointer<VeskDocumentController>& document : documents) {
        if (!document)
            continue;
        document->cancelOpening();
        document->deleteLater();
    }
}
