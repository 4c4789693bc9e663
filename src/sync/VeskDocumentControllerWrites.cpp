// Writing committed changes on the writer's thread: the interface thread only takes a snapshot of
// the session and, once the writer is done, takes in its outcome.
#include "sync/VeskDocumentController.h"

#include "document/DocumentFormat.h"
#include "document/FileMetadata.h"
#include "session/SessionController.h"
#include "sync/FileCheck.h"
#include "sync/SaveJob.h"

#include <memory>

void VeskDocumentController::saveCommittedChange()
{
    if (!hasSelectedFile() || m_isPresentingRecoveryAlert || blocksSaving(m_syncState) || m_reload)
        return;
    // Replaces a snapshot still waiting: the latest content includes it, and is written in its place.
    m_pendingSave = CommittedSnapshot::of(*m_sessionController);
    startNextSave();
}

bool VeskDocumentController::isWriting() const
{
    return m_writer->isBusy() || m_pendingSave.has_value() || (m_reload && !m_reload->started);
}

void VeskDocumentController::startNextSave()
{
    if (m_writer->isBusy() || !m_pendingSave)
        return;
    if (!hasSelectedFile() || m_isPresentingRecoveryAlert || blocksSaving(m_syncState) || m_reload) {
        m_pendingSave.reset();
        return;
    }
    // While the file is away from its path nothing is written: neither into the renamed file nor as
    // a new file in the way of the program about to write one. The change waits for the decision,
    // which saves the session as it is then.
    m_saveWaitsForFileMove = false;
    if (!settleFileMove(false)) {
        m_pendingSave.reset();
        m_saveWaitsForFileMove = true;
        return;
    }
    if (!m_pendingSave)
        return;
    if (!settleReplacedFiles()) {
        m_pendingSave.reset();
        return;
    }
    const QUrl url = m_selectedFileURL;
    auto job = std::make_shared<SaveJob>();
    job->path = localPath(url);
    job->snapshot = std::move(*m_pendingSave);
    job->lastSeen = m_lastPersistedContent;
    m_pendingSave.reset();
    m_saveRunning = true;
    m_writer->start([job, service = m_documentService] { job->run(service); },
        [this, job, url] { finishSave(*job, url); });
}

void VeskDocumentController::finishSave(SaveJob& job, const QUrl& url)
{
    m_saveRunning = false;
    QPointer self(this);
    for (const FileSnapshot& file : std::as_const(job.replaced))
        m_replacedFiles->keep(file);
    switch (job.outcome) {
    case SaveJob::Outcome::written: {
        recordPersisted(job.mark, url, std::move(job.snapshot));
        // What the replaced file carried and the new one could not keep is said, not dropped.
        const QString note = FileMetadata::describeNotKept(job.notKept);
        setAppStatus(QStringLiteral("Saved ") + lastPathComponent(url)
            + (note.isEmpty() ? QString() : QStringLiteral(" (") + note + u')'));
        break;
    }
    case SaveJob::Outcome::changedOnDisk: {
        if (hasUnpersistedChanges()) {
            failSave(FileAccessError::conflict());
            break;
        }
        // Nothing would be lost: the other program's version is taken, and written back. It is read
        // and made ready on the writer's thread by the check that comes next, when nothing else runs,
        // and taken in as any change a check finds: only if nothing would be lost then either.
        m_writesBackChange = true;
        m_checkWaitsForWriter = true;
        break;
    }
    case SaveJob::Outcome::conflict:
        // Another program is writing the file right now; its text is on disk, ours only in the session.
        failSave(FileAccessError::conflict());
        break;
    case SaveJob::Outcome::failed:
        failSave(*job.failure);
        break;
    }
    if (self)
        runWorkWaitingForWriter();
}

void VeskDocumentController::failSave(const DocumentControllerFailure& failure)
{
    // Later changes are in the session; the next committed change tries again when it may.
    m_pendingSave.reset();
    setAppStatus(QStringLiteral("Save failed"));
    handleSaveError(failure);
}

void VeskDocumentController::startChangeCheck()
{
    if (!hasSelectedFile() || !m_lastPersistedContent) {
        setSyncState(SyncState::externallyModifiedReloadable);
        return;
    }
    auto check = std::make_shared<FileCheck>();
    check->path = localPath(m_selectedFileURL);
    check->expected = m_lastPersistedContent;
    m_writer->start([check, service = m_documentService] { check->run(service); },
        [this, check] {
            if (!check->same && !hasUnpersistedChanges() && m_syncState == SyncState::inSync)
                setSyncState(SyncState::externallyModifiedReloadable);
            runWorkWaitingForWriter();
        });
}

void VeskDocumentController::runWorkWaitingForWriter()
{
    startReload();
    startNextSave();
    if (isWriting())
        return;
    QPointer self(this);
    if (std::exchange(m_replacedFilesWaitForWriter, false))
        settleReplacedFiles();
    if (self && std::exchange(m_checkWaitsForWriter, false)) {
        // The full check compares the text too, so a change noticed meanwhile needs nothing more.
        m_changeNoticedWhileWriting = false;
        checkForExternalChanges();
    }
    if (self && !isWriting() && std::exchange(m_changeNoticedWhileWriting, false))
        noteExternalChange();
    // Last: the file's own work goes first.
    if (self)
        startSummaries();
}

void VeskDocumentController::waitForWrites()
{
    QPointer self(this);
    while (self && isWriting()) {
        if (!m_writer->isBusy()) {
            startReload();
            startNextSave();
            if (!m_writer->isBusy())
                continue;
        }
        m_writer->wait();
    }
}

void VeskDocumentController::settleWritesQuietly()
{
    QPointer self(this);
    const bool wasQuiet = std::exchange(m_isWritingQuietly, true);
    waitForWrites();
    if (self)
        m_isWritingQuietly = wasQuiet;
}
