// Loading a whole list on the writer's thread: opening one in a running Vesk and reloading one from
// disk. The writer reads and parses the file and makes its tasks ready for the session; the
// interface thread only swaps them in once they are.
#include "sync/VeskDocumentController.h"

#include "platform/DialogPresenter.h"
#include "session/SessionController.h"
#include "sync/ListLoad.h"
#include "sync/SummaryJob.h"
#include "sync/SyncLog.h"

#include <functional>
#include <memory>

void VeskDocumentController::updateEditingBlocked()
{
    m_sessionController->setEditingBlocked(blocksSaving(m_syncState) || m_reload.has_value());
}

void VeskDocumentController::letGoOfLoad(ListLoad& load)
{
    if (load.content)
        m_writer->dispose(std::make_shared<const LoadedContent>(std::move(*load.content)));
    load.content.reset();
    if (load.plainText)
        m_writer->dispose(std::make_shared<const QString>(std::move(*load.plainText)));
    load.plainText.reset();
}

void VeskDocumentController::freeOnWriter(std::shared_ptr<const void> garbage)
{
    m_writer->dispose(std::move(garbage));
}

void VeskDocumentController::freeReplacedContentLater(std::shared_ptr<const void> replaced)
{
    // Held until the windows, which update their rows as the session reports the new list, have let
    // go of the old one too: the writer, holding it last, frees it, then hands the memory back to the
    // system.
    constexpr double windowsUpdatedWithin = 1.0;
    dropSummaries();
    auto garbage = std::make_shared<std::pair<std::shared_ptr<const void>, std::optional<CommittedSnapshot>>>(
        std::move(replaced), std::exchange(m_persistedSnapshot, std::nullopt));
    m_scheduler->schedule(windowsUpdatedWithin, m_writer, [writer = m_writer, garbage]() mutable {
        writer->dispose(std::move(garbage));
        writer->giveBackFreedMemory();
    });
}

void VeskDocumentController::openDocumentInBackground(
    const QUrl& url, bool alreadyAccessing, PlainText plainText, OpeningDone done)
{
    cancelOpening();
    m_opening = Opening {url, alreadyAccessing, plainText, std::move(done), ++m_loadSerial, nullptr};
    emit openingChanged();
    auto load = std::make_shared<ListLoad>();
    load->path = localPath(url);
    load->removesStaleTemporaryFiles = true;
    load->keepsPlainText = plainText == PlainText::offerImport;
    startOpening(std::move(load));
}

void VeskDocumentController::cancelOpening()
{
    if (!m_opening)
        return;
    // Its answer, when it comes, belongs to no opening; the writer stops reading it at its next step.
    if (m_opening->load)
        m_opening->load->dropped = true;
    m_opening.reset();
    emit openingChanged();
}

void VeskDocumentController::startOpening(std::shared_ptr<ListLoad> load)
{
    // A document being opened has nothing of its own to write; whatever else runs goes first.
    QPointer self(this);
    const quint64 serial = m_opening->serial;
    settleWritesQuietly();
    // What ran meanwhile may have dropped the opening, or deleted the document.
    if (!self || !m_opening || m_opening->serial != serial)
        return;
    m_opening->load = load;
    m_writer->start([load, service = m_documentService] { load->run(service); },
        [this, load, serial] { finishOpening(*load, serial); });
}

void VeskDocumentController::finishOpening(ListLoad& load, quint64 serial)
{
    QPointer self(this);
    if (!m_opening || m_opening->serial != serial) {
        letGoOfLoad(load);
        runWorkWaitingForWriter();
        return;
    }
    if (load.plainText) {
        // A plain-text file the user chose: imported only when the user agrees, which writes it back
        // in task form.
        const bool imports
            = DocumentService::askToImport(std::bind_front(&DialogPresenter::runAlert, m_dialogs));
        if (!self)
            return;
        if (!m_opening || m_opening->serial != serial) {
            letGoOfLoad(load);
            return;
        }
        if (imports) {
            auto import = std::make_shared<ListLoad>();
            import->path = load.path;
            import->importing = std::exchange(load.plainText, std::nullopt);
            startOpening(std::move(import));
            return;
        }
        letGoOfLoad(load);
        load.failure = DocumentError::importDeclined;
    }
    if (hasSelectedFile()) {
        // The document has a file of its own: what it still has to write goes there first.
        settleWritesQuietly();
        if (!self)
            return;
        if (!m_opening || m_opening->serial != serial) {
            letGoOfLoad(load);
            return;
        }
    }
    Opening opening = std::exchange(m_opening, std::nullopt).value();
    emit openingChanged();
    if (!self)
        return;
    if (load.failure) {
        opening.done(load.failure);
        return;
    }
    freeReplacedContentLater(m_sessionController->loadContent(*load.content));
    letGoOfLoad(load);
    recordPersisted(load.mark, opening.url);
    bindFile(opening.url, opening.alreadyAccessing);
    setAppStatus(QStringLiteral("Loaded ") + lastPathComponent(opening.url));
    opening.done(std::nullopt);
    if (self)
        runWorkWaitingForWriter();
}

void VeskDocumentController::reloadFromDisk()
{
    if (!hasSelectedFile())
        return;
    // The session is about to be replaced by the file: what waits to be written goes with it, and
    // nothing the user does meanwhile is saved over the file.
    m_pendingSave.reset();
    if (m_reload && m_reload->load)
        m_reload->load->dropped = true;
    m_reload = Reload {m_selectedFileURL, ++m_loadSerial, false, m_appStatus, nullptr};
    updateEditingBlocked();
    setAppStatus(QStringLiteral("Reloading ") + lastPathComponent(m_selectedFileURL) + QStringLiteral("…"));
    // A save or check running now is taken in first; the reload reads the file after it.
    if (!m_writer->isBusy())
        startReload();
}

void VeskDocumentController::startReload()
{
    if (!m_reload || m_reload->started)
        return;
    m_reload->started = true;
    auto load = std::make_shared<ListLoad>();
    load->path = localPath(m_reload->url);
    m_reload->load = load;
    m_writer->start([load, service = m_documentService] { load->run(service); },
        [this, load, serial = m_reload->serial] { finishReload(*load, serial); });
}

void VeskDocumentController::dropReload()
{
    if (!m_reload)
        return;
    if (m_reload->load)
        m_reload->load->dropped = true;
    setAppStatus(std::exchange(m_reload, std::nullopt)->statusBefore);
    updateEditingBlocked();
}

void VeskDocumentController::finishReload(ListLoad& load, quint64 serial)
{
    QPointer self(this);
    if (!m_reload || m_reload->serial != serial) {
        letGoOfLoad(load);
        runWorkWaitingForWriter();
        return;
    }
    const QUrl url = m_reload->url;
    if (url != m_selectedFileURL) {
        // The file moved while it was read: the list's file is read where it is now.
        letGoOfLoad(load);
        m_reload->url = m_selectedFileURL;
        m_reload->started = false;
        startReload();
        return;
    }
    const QString statusBefore = std::exchange(m_reload, std::nullopt)->statusBefore;
    if (load.failure) {
        qCWarning(lcSync).noquote() << "could not reload" << localPath(url) << ":"
                                    << describeFailure(*load.failure);
        letGoOfLoad(load);
        setAppStatus(statusBefore);
        setSyncState(SyncState::unavailable);
        presentErrorAlert(describeFailure(*load.failure));
    } else {
        freeReplacedContentLater(m_sessionController->loadContent(*load.content));
        letGoOfLoad(load);
        recordPersisted(load.mark, url);
        setAppStatus(QStringLiteral("Reloaded ") + lastPathComponent(url));
    }
    if (self)
        runWorkWaitingForWriter();
}

void VeskDocumentController::startSummaries()
{
    if (!m_summaries || !m_summaries->mayStart || m_summaries->started || m_writer->isBusy())
        return;
    m_summaries->started = true;
    m_writer->start(
        [job = m_summaries] { job->run(); }, [this, job = m_summaries] { finishSummaries(*job); });
}

void VeskDocumentController::finishSummaries(SummaryJob& job)
{
    if (m_summaries.get() == &job) {
        m_summaries.reset();
        if (!m_sessionController->takeLateSummaries(job.content, job.summaries))
            qCDebug(lcSync) << "search summaries came after the list changed: dropped";
    }
    // The copy of the list may be the last hold on one replaced meanwhile: freed where lists are.
    m_writer->dispose(std::make_shared<const SummaryJob>(std::move(job)));
    runWorkWaitingForWriter();
}

void VeskDocumentController::dropSummaries()
{
    if (m_summaries && !m_summaries->started)
        m_writer->dispose(std::move(m_summaries));
    m_summaries.reset();
}
