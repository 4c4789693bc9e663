// Keeping the file and the session in step: saving, checking for changes made by other programs,
// reloading and recovering.
#include "sync/VeskDocumentController.h"

#include "document/DocumentFormat.h"
#include "document/DocumentWriteLock.h"
#include "document/FileMetadata.h"
#include "platform/DialogPresenter.h"
#include "platform/FileWatcher.h"
#include "session/SessionController.h"
#include "sync/SyncLog.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A save that finds the file changed between its check and the replacement checks again, so that
// a change without unsaved work is still reloaded; after this many tries it counts as a conflict.
constexpr int maxSaveAttempts = 3;

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
    if (!m_lastPersistedDocument)
        return false;
    if (m_sessionController->isTextEditingActive())
        return true;
    return m_sessionController->committedDocument() != *m_lastPersistedDocument;
}

std::optional<DocumentControllerFailure> VeskDocumentController::readFileState(
    const QUrl& url, FileState& state) const
{
    const QString path = localPath(url);
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info { };
    if (::stat(encoded.constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return FileAccessError::missing();
        return FileSystemError::fromErrno(FileSystemError::Operation::read, path, errno);
    }
    if (!S_ISREG(info.st_mode))
        return FileAccessError::missing();
    if (::access(encoded.constData(), R_OK) != 0 && errno == EACCES)
        return FileAccessError::unreadable();
    if (auto error = m_documentService.readSnapshot(path, state.snapshot))
        return error->isNoSuchFile() ? FileAccessError::missing() : FileAccessError::unreadable();
    state.writable = ::access(encoded.constData(), W_OK) == 0;
    return std::nullopt;
}

std::optional<DocumentControllerFailure> VeskDocumentController::verifyBeforeSave(
    const QUrl& url, FileSnapshot& checked)
{
    FileState state;
    if (auto failure = readFileState(url, state))
        return failure;
    if (!state.writable)
        return FileAccessError::unwritable();
    if (m_lastPersistedContents && *m_lastPersistedContents != state.snapshot.text()) {
        if (hasUnpersistedChanges())
            return FileAccessError::conflict();
        // Nothing would be lost: take the other program's version, and write it back.
        FileSnapshot reread;
        if (auto error = m_documentService.readSnapshot(localPath(url), reread))
            return *error;
        if (!isVeskDocument(reread.text()))
            return FileAccessError::unreadableAsVesk();
        const VeskDocument document = parseDocument(reread.text());
        m_sessionController->loadDocument(document);
        recordPersisted(document, reread.text(), url);
        checked = reread;
        return std::nullopt;
    }
    checked = state.snapshot;
    return std::nullopt;
}

void VeskDocumentController::saveCommittedChange()
{
    if (!hasSelectedFile() || m_isPresentingRecoveryAlert || blocksSaving(m_syncState))
        return;
    // While the file is away from its path nothing is written: neither into the renamed file nor as
    // a new file in the way of the program about to write one. The change waits for the decision.
    m_saveWaitsForFileMove = false;
    if (!settleFileMove(false)) {
        m_saveWaitsForFileMove = true;
        return;
    }
    if (!settleReplacedFiles())
        return;
    const QUrl url = m_selectedFileURL;
    const QString path = localPath(url);
    for (int attempt = 1;; ++attempt) {
        std::optional<DocumentControllerFailure> failure;
        DocumentService::GuardedWriteOutcome outcome;
        VeskDocument document;
        QString text;
        QStringList notKept;
        {
            // Other Vesk writers of this file wait from this check until the file is replaced, so
            // that none replaces a file it did not check. Released before any alert runs.
            const DocumentWriteLock lock(path);
            FileSnapshot checked;
            failure = verifyBeforeSave(url, checked);
            if (!failure) {
                document = m_sessionController->committedDocument();
                text = serializeDocument(document);
                QList<FileSnapshot> replaced;
                if (auto error
                    = m_documentService.writeContents(text, path, checked, outcome, &notKept, &replaced))
                    failure = *error;
                for (const FileSnapshot& file : replaced)
                    m_replacedFiles->keep(file);
            }
        }
        if (failure) {
            setAppStatus(QStringLiteral("Save failed"));
            handleSaveError(*failure);
            return;
        }
        if (outcome == DocumentService::GuardedWriteOutcome::written) {
            recordPersisted(document, text, url);
            // What the replaced file carried and the new one could not keep is said, not dropped.
            const QString note = FileMetadata::describeNotKept(notKept);
            setAppStatus(QStringLiteral("Saved ") + lastPathComponent(url)
                + (note.isEmpty() ? QString() : QStringLiteral(" (") + note + u')'));
            return;
        }
        if (outcome == DocumentService::GuardedWriteOutcome::fileChangedFirst && attempt < maxSaveAttempts)
            continue;
        // Another program is writing the file right now; its text is on disk, ours only in the session.
        setAppStatus(QStringLiteral("Save failed"));
        handleSaveError(FileAccessError::conflict());
        return;
    }
}

bool VeskDocumentController::settleReplacedFiles()
{
    // While the path is empty (the file is away or gone) late writes wait for a file to go to.
    if (!hasSelectedFile() || m_replacedFiles->keptCount() == 0
        || !QFileInfo::exists(localPath(m_selectedFileURL)))
        return true;
    const QByteArray lastWritten = m_lastPersistedContents ? m_lastPersistedContents->toUtf8() : QByteArray();
    if (m_replacedFiles->settle(localPath(m_selectedFileURL), lastWritten)
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
    // A file back at the path ends a pending move here; while the path is empty there is nothing to compare.
    if (!hasSelectedFile() || !settleFileMove(false) || !settleReplacedFiles() || blocksSaving(m_syncState)
        || m_isPresentingRecoveryAlert)
        return;
    const QUrl url = m_selectedFileURL;
    FileState state;
    if (auto failure = readFileState(url, state)) {
        handleObservedFileError(*failure);
        return;
    }
    if (m_lastPersistedContents && *m_lastPersistedContents != state.snapshot.text()) {
        if (hasUnpersistedChanges()) {
            setSyncState(SyncState::externallyModifiedConflicted);
            presentRecoveryAlert();
            return;
        }
        setSyncState(SyncState::externallyModifiedReloadable);
        DocumentContents contents;
        if (auto failure = readTaskFile(url, contents)) {
            handleObservedFileError(*failure);
            return;
        }
        m_sessionController->loadDocument(contents.document);
        recordPersisted(contents.document, contents.text, url);
        setAppStatus(QStringLiteral("Reloaded ") + lastPathComponent(url));
        return;
    }
    if (m_syncState == SyncState::externallyModifiedReloadable)
        setSyncState(SyncState::inSync);
}

void VeskDocumentController::noteExternalChange()
{
    if (hasUnpersistedChanges())
        return;
    if (m_syncState == SyncState::inSync)
        setSyncState(SyncState::externallyModifiedReloadable);
}

void VeskDocumentController::reloadFromDisk()
{
    if (!hasSelectedFile())
        return;
    const QUrl url = m_selectedFileURL;
    DocumentContents contents;
    if (auto failure = readTaskFile(url, contents)) {
        setSyncState(SyncState::unavailable);
        presentErrorAlert(describeFailure(*failure));
        return;
    }
    m_sessionController->loadDocument(contents.document);
    recordPersisted(contents.document, contents.text, url);
    setAppStatus(QStringLiteral("Reloaded ") + lastPathComponent(url));
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
    const VeskDocument document = m_sessionController->documentIncludingEdits();
    const QString text = serializeDocument(document);
    if (auto error = m_documentService.writeContents(text, localPath(url))) {
        qCWarning(lcSync).noquote() << "could not save" << localPath(url) << ":" << error->description();
        presentErrorAlert(error->description());
        return;
    }
    m_sessionController->loadDocument(document);
    recordPersisted(document, text, url);
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
