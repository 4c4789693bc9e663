// Keeping the file and the session in step: saving, checking for changes made by other programs,
// reloading and recovering.
#include "sync/VeskDocumentController.h"

#include "document/DocumentFormat.h"
#include "platform/DialogPresenter.h"
#include "platform/FileWatcher.h"
#include "session/SessionController.h"
#include "sync/FileCheck.h"
#include "sync/SyncLog.h"

#include <QFileInfo>

#include <cerrno>

namespace {

// A write that failed for want of space or on a disk error leaves the file with its old text (the
// document service writes nothing over it before the new text has room), so the document stays
// saveable and the next committed change tries again.
bool leavesFileWhole(const DocumentControllerFailure& failure)
{
    const auto* error = std::get_if<FileSystemError>(&failure);
    return error && error->operation == FileSystemError::Operation::write
        && (error->code == ENOSPC || error->code == EDQUOT || error->code == EFBIG || error->code == EIO);
}

} // namespace

bool VeskDocumentController::hasUnpersistedChanges() const
{
    if (!m_persistedSnapshot)
        return false;
    return m_sessionController->isTextEditingActive() || m_pendingSave || m_saveRunning
        || committedContentDiffersFromPersisted();
}

bool VeskDocumentController::committedContentDiffersFromPersisted() const
{
    // The session still holds the very content last read or written: nothing to compare.
    const CommittedSnapshot now = CommittedSnapshot::of(*m_sessionController);
    if (now.sharesContentWith(*m_persistedSnapshot))
        return false;
    return now.document() != m_persistedSnapshot->document();
}

bool VeskDocumentController::settleReplacedFiles()
{
    // While the path is empty (the file is away or gone) late writes wait for a file to go to.
    if (!hasSelectedFile() || m_replacedFiles->keptCount() == 0
        || !QFileInfo::exists(localPath(m_selectedFileURL)))
        return true;
    if (m_replacedFiles->settle(localPath(m_selectedFileURL), m_lastPersistedContent.value_or(ContentMark()))
        != ReplacedFileWatcher::Settled::replaced)
        return true;
    // The other program's text is on disk now; the last save is only in the session.
    if (!blocksSaving(m_syncState)) {
        setAppStatus(QStringLiteral("Save failed"));
        handleSaveError(FileAccessError::conflict());
    }
    return false;
}

void VeskDocumentController::checkForExternalChanges()
{
    // The writer may be replacing the file right now, or reading it for a check that started before
    // this one was asked for: compared once it is done. A check handed to it that has not begun to
    // read the file yet reads what this one would.
    if (isWriting()) {
        if (!m_queuedCheck || m_queuedCheck->hasBegunReading())
            m_checkWaitsForWriter = true;
        else
            qCDebug(lcSync) << "check asked for again before the file was read: the same check";
        return;
    }
    // A file back at the path ends a pending move here; while the path is empty there is nothing to compare.
    if (!hasSelectedFile() || !settleFileMove(false) || !settleReplacedFiles() || blocksSaving(m_syncState)
        || m_isPresentingRecoveryAlert)
        return;
    // Settling a move may have handed the writer a save or a look at the new file: this comes after it.
    if (isWriting()) {
        m_checkWaitsForWriter = true;
        return;
    }
    // A long list takes a good part of a second to read and digest, and longer to parse: that happens
    // on the writer's thread, in turn with the saves, and only the answer is taken in here.
    auto check = std::make_shared<FileCheck>();
    check->path = localPath(m_selectedFileURL);
    check->expected = m_lastPersistedContent;
    check->readsChange = true;
    m_queuedCheck = check;
    m_writer->start([check, service = m_documentService] { check->run(service); },
        [this, check, revision = m_fileRevision] { finishExternalChangeCheck(*check, revision); });
}

void VeskDocumentController::finishExternalChangeCheck(FileCheck& check, quint64 revision)
{
    m_queuedCheck.reset();
    QPointer self(this);
    if (revision != m_fileRevision || isWaitingForFileMove()) {
        // The answer is about a text or a path that is no longer the document's: asked again, which
        // waits while the file is away from its path.
        m_checkWaitsForWriter = true;
    } else if (hasSelectedFile() && !blocksSaving(m_syncState) && !m_isPresentingRecoveryAlert && !m_reload) {
        // (A reload asked for meanwhile reads the file after this and replaces the session anyway.)
        takeInExternalChangeCheck(check);
    }
    if (!self)
        return;
    letGoOfChange(check);
    runWorkWaitingForWriter();
}

void VeskDocumentController::letGoOfChange(FileCheck& check)
{
    if (!check.change)
        return;
    m_writer->dispose(std::make_shared<const LoadedContent>(std::move(*check.change)));
    check.change.reset();
}

void VeskDocumentController::takeInExternalChangeCheck(FileCheck& check)
{
    const QUrl url = m_selectedFileURL;
    if (check.failure) {
        handleObservedFileError(*check.failure);
        return;
    }
    if (!check.same) {
        // Decided now, not when the check started: a change committed meanwhile is unsaved work, and
        // its save, waiting behind the check, is dropped rather than written over the other text.
        if (hasUnpersistedChanges()) {
            // Not held while the alert is up.
            letGoOfChange(check);
            setSyncState(SyncState::externallyModifiedConflicted);
            presentRecoveryAlert();
            return;
        }
        setSyncState(SyncState::externallyModifiedReloadable);
        // The writer has read and parsed the file and made its tasks ready: the session only takes them.
        if (check.changeFailure || !check.change) {
            handleObservedFileError(check.changeFailure.value_or(FileAccessError::unreadable()));
            return;
        }
        const bool writesBack = m_writesBackChange;
        freeReplacedContentLater(m_sessionController->loadContent(*check.change));
        letGoOfChange(check);
        recordPersisted(check.changeMark, url);
        setAppStatus(QStringLiteral("Reloaded ") + lastPathComponent(url));
        // The save that found the change goes on, with what the session holds now.
        if (writesBack)
            m_pendingSave = CommittedSnapshot::of(*m_sessionController);
        return;
    }
    if (m_syncState == SyncState::externallyModifiedReloadable)
        setSyncState(SyncState::inSync);
}

void VeskDocumentController::noteExternalChange()
{
    // The report may be the echo of a save still running: looked at once it is done.
    if (isWriting()) {
        m_changeNoticedWhileWriting = true;
        return;
    }
    if (hasUnpersistedChanges() || m_syncState != SyncState::inSync)
        return;
    // The file is read on the writer's thread: the echo of Vesk's own save holds the text last
    // written and changes nothing.
    startChangeCheck();
}

void VeskDocumentController::saveToNewFile()
{
    const QString proposed = hasSelectedFile() ? lastPathComponent(m_selectedFileURL) : defaultFileName();
    const QString path = m_dialogs->chooseFileToSave(
        proposed, DocumentService::saveFileFilters(), DocumentService::veskFileSuffix(), dialogFolder());
    if (path.isEmpty())
        return;
    const QUrl url = QUrl::fromLocalFile(path);
    if (isFileOpenElsewhere && isFileOpenElsewhere(url)) {
        presentErrorAlert(fileIsOpenMessage());
        return;
    }
    // The new file gets everything; a save already running for the old one still lands there. A
    // reload asked for earlier is dropped: what the session holds now is what the user saves.
    m_pendingSave.reset();
    dropReload();
    settleWritesQuietly();
    const VeskDocument document = m_sessionController->documentIncludingEdits();
    const QString text = serializeDocument(document);
    if (auto error = m_documentService.writeContents(text, localPath(url))) {
        qCWarning(lcSync).noquote() << "could not save" << localPath(url) << ":" << error->description();
        presentErrorAlert(error->description());
        return;
    }
    m_sessionController->loadDocument(document);
    recordPersisted(ContentMark::of(text.toUtf8()), url);
    bindFile(url, false);
    setAppStatus(QStringLiteral("Saved ") + lastPathComponent(url));
}

void VeskDocumentController::handleSaveError(const DocumentControllerFailure& failure)
{
    qCWarning(lcSync).noquote() << "could not save" << localPath(m_selectedFileURL) << ":"
                                << describeFailure(failure);
    if (leavesFileWhole(failure)) {
        presentFileProblemAlert(describeFailure(failure));
        return;
    }
    if (const auto* error = std::get_if<FileAccessError>(&failure)) {
        switch (error->kind) {
        case FileAccessError::Kind::conflict:
            setSyncState(SyncState::externallyModifiedConflicted);
            presentRecoveryAlert(error->message);
            return;
        case FileAccessError::Kind::unwritable:
            setSyncState(SyncState::unwritable);
            presentFileProblemAlert(error->message);
            return;
        case FileAccessError::Kind::unavailable:
        case FileAccessError::Kind::unreadableAsVesk:
            break;
        }
    }
    setSyncState(SyncState::unavailable);
    presentFileProblemAlert(describeFailure(failure));
}

void VeskDocumentController::handleObservedFileError(const DocumentControllerFailure& failure)
{
    setSyncState(SyncState::unavailable);
    presentFileProblemAlert(describeFailure(failure));
}
