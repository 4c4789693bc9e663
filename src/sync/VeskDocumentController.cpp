#include "sync/VeskDocumentController.h"

#include "document/DocumentFormat.h"
#include "platform/DialogPresenter.h"
#include "platform/FileWatcher.h"
#include "session/SessionController.h"
#include "sync/SummaryJob.h"
#include "sync/TaskFileRead.h"

#include <QDir>
#include <QFileInfo>

#include <functional>
#include <memory>

#include <unistd.h>

QString describeFailure(const DocumentControllerFailure& failure)
{
    if (const auto* error = std::get_if<FileAccessError>(&failure))
        return error->description();
    if (const auto* error = std::get_if<DocumentError>(&failure))
        return documentErrorDescription(*error);
    return std::get<FileSystemError>(failure).description();
}

DocumentControllerFailure fromDocumentFailure(const DocumentFailure& failure)
{
    if (const auto* error = std::get_if<DocumentError>(&failure))
        return *error;
    return std::get<FileSystemError>(failure);
}

VeskDocumentController::VeskDocumentController(
    DialogPresenter* dialogs, Scheduler* scheduler, QObject* parent)
    : QObject(parent),
      m_sessionController(new SessionController(scheduler, this)),
      m_dialogs(dialogs),
      m_scheduler(scheduler),
      m_replacedFiles(new ReplacedFileWatcher(scheduler, this)),
      m_writer(new DocumentWriter(this))
{
    Q_ASSERT(dialogs);
    m_replacedFiles->onActivity = [self = QPointer(this)] {
        if (!self)
            return;
        // Late writes are put right only between saves, which write the same file.
        if (self->isWriting())
            self->m_replacedFilesWaitForWriter = true;
        else
            self->settleReplacedFiles();
    };
    m_sessionController->onCommittedChange = [self = QPointer(this)] {
        if (self)
            self->saveCommittedChange();
    };
    m_sessionController->setEditingBlocked(false);
}

VeskDocumentController::~VeskDocumentController()
{
    // The session outlives this body as a child object; it must not call back into a dying controller.
    m_sessionController->onCommittedChange = nullptr;
    stopFileAccess();
}

QString VeskDocumentController::localPath(const QUrl& url)
{
    return QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
}

QString VeskDocumentController::lastPathComponent(const QUrl& url)
{
    return QFileInfo(url.toLocalFile()).fileName();
}

void VeskDocumentController::setAppStatus(const QString& status)
{
    m_appStatus = status;
    emit appStatusChanged();
}

void VeskDocumentController::setSelectedFileURL(const QUrl& url)
{
    m_selectedFileURL = url;
    ++m_fileRevision;
    emit selectedFileURLChanged();
}

void VeskDocumentController::setDocumentColor(DocumentColor color)
{
    m_documentColor = color;
    emit documentColorChanged();
}

void VeskDocumentController::setSyncState(SyncState state)
{
    m_syncState = state;
    emit syncStateChanged();
    updateEditingBlocked();
}

// Access to a file needs no grant on this platform, so there is nothing to hold beyond the URL.
void VeskDocumentController::bindFile(const QUrl& url, bool alreadyAccessing)
{
    Q_UNUSED(alreadyAccessing);
    setSelectedFileURL(url);
    setDocumentColor(documentColorForPath(localPath(url)));
    observeFile(url);
    if (onSelectedFileURLChange)
        onSelectedFileURLChange(url);
}

void VeskDocumentController::recordPersisted(
    const ContentMark& mark, const QUrl& url, std::optional<CommittedSnapshot> snapshot)
{
    m_writesBackChange = false;
    m_lastPersistedContent = mark;
    ++m_fileRevision;
    // After a load, the last reference to the list that was shown before: freed on the writer's thread.
    if (m_persistedSnapshot)
        m_writer->dispose(std::make_shared<const CommittedSnapshot>(std::move(*m_persistedSnapshot)));
    m_persistedSnapshot = snapshot ? std::move(*snapshot) : CommittedSnapshot::of(*m_sessionController);
    setSyncState(SyncState::inSync);
    observeFile(url);
}

void VeskDocumentController::observeFile(const QUrl& url)
{
    const QString path = localPath(url);
    if (m_fileObserver && m_fileObserver->path() == path)
        return;
    stopWaitingForFileMove();
    m_saveWaitsForFileMove = false;
    if (m_fileObserver) {
        // Late writes into the previous file's replaced files belong to that file.
        m_replacedFiles->settle(m_fileObserver->path(), ContentMark());
        m_replacedFiles->clear();
    }
    delete m_fileObserver;
    auto* observer = new FileWatcher(path, m_scheduler, this);
    // The file each save replaces is held until the report of the save comes: the page cache of a
    // long list is freed as that hold goes, on the writer's thread.
    observer->closeHeldFile = [writer = QPointer(m_writer)](int fd) {
        if (writer)
            writer->dispose(std::shared_ptr<const int>(new int(fd), [](const int* held) {
                ::close(*held);
                delete held;
            }));
        else
            ::close(fd);
    };
    observer->onDidChange = [self = QPointer(this)] {
        if (self)
            self->noteExternalChange();
    };
    observer->onDidMove = [self = QPointer(this)](const QString& newPath) {
        if (self)
            self->handleFileMove(QUrl::fromLocalFile(newPath));
    };
    m_fileObserver = observer;
}

void VeskDocumentController::stopFileAccess()
{
    // A list still being opened is not loaded any more; a save already handed to the writer still
    // lands, and so does a reload the user asked for.
    cancelOpening();
    settleWritesQuietly();
    stopWaitingForFileMove();
    m_saveWaitsForFileMove = false;
    // A last look at the replaced files: what was written into them by now still reaches the disk.
    if (hasSelectedFile())
        m_replacedFiles->settle(localPath(m_selectedFileURL), m_lastPersistedContent.value_or(ContentMark()));
    m_replacedFiles->clear();
    delete m_fileObserver;
    m_fileObserver = nullptr;
}

std::optional<DocumentControllerFailure> VeskDocumentController::readTaskFile(
    const QUrl& url, DocumentContents& contents) const
{
    return ::readTaskFile(m_documentService, localPath(url), contents);
}

void VeskDocumentController::loadContents(DocumentContents contents, const QUrl& url)
{
    // A long list's text is about as large as its tasks: gone before the session builds its own.
    contents.text = QString();
    dropSummaries();
    m_sessionController->loadDocument(contents.document);
    m_writer->dispose(std::make_shared<const VeskDocument>(std::move(contents.document)));
    recordPersisted(contents.mark, url);
    // After the document, which the writer frees first: its tasks are the session's now.
    if (m_sessionController->itemsByID().size() >= summarizedTaskCount) {
        m_summaries = std::make_shared<SummaryJob>();
        m_summaries->content = *m_persistedSnapshot;
        const auto start = [self = QPointer(this), job = std::weak_ptr(m_summaries)] {
            if (const auto summaries = job.lock(); self && summaries && self->m_summaries == summaries) {
                summaries->mayStart = true;
                self->startSummaries();
            }
        };
        if (runAfterLaunch)
            runAfterLaunch(start);
        else
            start();
    }
}

std::optional<DocumentControllerFailure> VeskDocumentController::openDocument(
    const QUrl& url, bool alreadyAccessing, PlainText plainText)
{
    settleWritesQuietly();
    cancelOpening();
    const QString path = localPath(url);
    DocumentContents contents;
    if (plainText == PlainText::offerImport) {
        if (auto failure = m_documentService.readDocument(
                path, std::bind_front(&DialogPresenter::runAlert, m_dialogs), contents))
            return fromDocumentFailure(*failure);
    } else {
        // A save interrupted in an earlier run may have left its temporary file beside this one.
        m_documentService.removeStaleTemporaryFiles(path);
        if (auto failure = readTaskFile(url, contents))
            return failure;
    }
    loadContents(std::move(contents), url);
    bindFile(url, alreadyAccessing);
    setAppStatus(QStringLiteral("Loaded ") + lastPathComponent(url));
    return std::nullopt;
}

std::optional<DocumentControllerFailure> VeskDocumentController::createDocument(const QUrl& url)
{
    cancelOpening();
    settleWritesQuietly();
    DocumentContents contents;
    if (auto failure = m_documentService.makeNewFileContents(contents))
        return fromDocumentFailure(*failure);
    if (auto error = m_documentService.writeContents(contents.text, localPath(url)))
        return *error;
    loadContents(std::move(contents), url);
    bindFile(url, false);
    setAppStatus(QStringLiteral("Created ") + lastPathComponent(url));
    return std::nullopt;
}

QString VeskDocumentController::dialogFolder() const
{
    if (hasSelectedFile())
        return QFileInfo(localPath(m_selectedFileURL)).absolutePath();
    return defaultDialogFolder ? defaultDialogFolder() : QString();
}

void VeskDocumentController::chooseAndOpenFile()
{
    const QString path = m_dialogs->chooseFileToOpen(DocumentService::openFileFilters(), dialogFolder());
    if (path.isEmpty())
        return;
    const QUrl url = QUrl::fromLocalFile(path);
    if (isFileOpenElsewhere && isFileOpenElsewhere(url)) {
        setAppStatus(QStringLiteral("Could not open file"));
        presentErrorAlert(fileIsOpenMessage());
        return;
    }
    // Read and parsed on the writer's thread, so that a long list freezes no window; a plain-text
    // file's import question comes once it has been read.
    openDocumentInBackground(
        url, false, PlainText::offerImport, [this](const std::optional<DocumentControllerFailure>& failure) {
            if (!failure)
                return;
            setAppStatus(QStringLiteral("Could not open file"));
            presentErrorAlert(describeFailure(*failure));
        });
}

void VeskDocumentController::chooseAndCreateFile()
{
    const QString path = m_dialogs->chooseFileToSave(defaultFileName(), DocumentService::saveFileFilters(),
        DocumentService::veskFileSuffix(), dialogFolder());
    if (path.isEmpty())
        return;
    if (isFileOpenElsewhere && isFileOpenElsewhere(QUrl::fromLocalFile(path))) {
        setAppStatus(QStringLiteral("Could not create file"));
        presentErrorAlert(fileIsOpenMessage());
        return;
    }
    if (auto failure = createDocument(QUrl::fromLocalFile(path))) {
        setAppStatus(QStringLiteral("Could not create file"));
        presentErrorAlert(describeFailure(*failure));
    }
}

void VeskDocumentController::presentRecoveryAlert(const QString& message)
{
    m_fileProblem = message;
    if (m_isPresentingRecoveryAlert || m_isWritingQuietly)
        return;
    m_isPresentingRecoveryAlert = true;
    QPointer self(this);
    const int choice = m_dialogs->runAlert(fileProblemMessage(), message,
        {QStringLiteral("Reload from Disk"), QStringLiteral("Save to New File…"), QStringLiteral("Cancel")});
    // Whatever ran during the modal loop may have closed the document.
    if (!self)
        return;
    if (choice == 0)
        reloadFromDisk();
    else if (choice == 1)
        saveToNewFile();
    if (self)
        m_isPresentingRecoveryAlert = false;
}

void VeskDocumentController::presentFileProblemAlert(const QString& message)
{
    m_fileProblem = message;
    if (m_isPresentingRecoveryAlert || m_isWritingQuietly)
        return;
    m_isPresentingRecoveryAlert = true;
    QPointer self(this);
    const int choice = m_dialogs->runAlert(
        fileProblemMessage(), message, {QStringLiteral("Save to New File…"), QStringLiteral("Cancel")});
    if (!self)
        return;
    if (choice == 0)
        saveToNewFile();
    if (self)
        m_isPresentingRecoveryAlert = false;
}

void VeskDocumentController::presentErrorAlert(const QString& description)
{
    m_dialogs->runAlert(fileProblemMessage(), description, {});
}

QString VeskDocumentController::fileProblemDescription() const
{
    if (!m_fileProblem.isEmpty())
        return m_fileProblem;
    switch (m_syncState) {
    case SyncState::externallyModifiedConflicted:
        return FileAccessError::conflict().message;
    case SyncState::unwritable:
        return FileAccessError::unwritable().message;
    default:
        return FileAccessError::missing().message;
    }
}

QString VeskDocumentController::closingReason() const
{
    if (m_syncState == SyncState::externallyModifiedConflicted)
        return FileAccessError::conflict().message;
    if (!blocksSaving(m_syncState))
        return QStringLiteral("Vesk couldn’t save the latest changes to this file.");
    return fileProblemDescription();
}

bool VeskDocumentController::canResolveFileProblem() const
{
    return hasSelectedFile() && blocksSaving(m_syncState);
}

void VeskDocumentController::resolveFileProblem()
{
    if (!canResolveFileProblem())
        return;
    if (m_syncState == SyncState::externallyModifiedConflicted)
        presentRecoveryAlert(fileProblemDescription());
    else
        presentFileProblemAlert(fileProblemDescription());
}

bool VeskDocumentController::hasChangesOnlyInSession() const
{
    if (!hasSelectedFile() || !m_persistedSnapshot)
        return false;
    // The file is gone or no longer a task file: the session is the only copy of the list.
    if (m_syncState == SyncState::unavailable)
        return true;
    // What a save to a new file would write, open editors included.
    if (blocksSaving(m_syncState))
        return m_sessionController->documentIncludingEdits() != m_persistedSnapshot->document();
    return m_pendingSave || m_saveRunning || committedContentDiffersFromPersisted();
}

void VeskDocumentController::finishPendingWork()
{
    // Without a file there is nothing to write: a list still being opened into the document is not
    // waited for (closing the document or quitting drops it).
    if (!hasSelectedFile() && isOpening())
        return;
    QPointer self(this);
    // A save that fails now is asked about by prepareToClose or shown in the status line instead.
    m_isWritingQuietly = true;
    // Closing cannot wait for the file to come back: where it is now decides, and a held save runs.
    settleFileMove(true);
    if (self)
        m_sessionController->finishPendingTransitions();
    if (self)
        waitForWrites();
    // A save that failed without pausing editing gets one more try.
    if (self && !blocksSaving(m_syncState) && hasChangesOnlyInSession()) {
        saveCommittedChange();
        if (self)
            waitForWrites();
    }
    if (self)
        m_isWritingQuietly = false;
}

bool VeskDocumentController::prepareToClose()
{
    QPointer self(this);
    finishPendingWork();
    if (!self)
        return false;
    if (!hasChangesOnlyInSession())
        return true;
    if (m_isPresentingRecoveryAlert)
        return false;
    m_isPresentingRecoveryAlert = true;
    const QString name = lastPathComponent(m_selectedFileURL);
    const int choice = m_dialogs->runAlert(
        QStringLiteral("Do you want to save the changes to “%1” in a new file?").arg(name),
        closingReason()
            + QStringLiteral(" The file doesn’t hold the changes made in Vesk; if you discard them, "
                             "they’re gone."),
        {QStringLiteral("Save to New File…"), QStringLiteral("Discard Changes"), QStringLiteral("Cancel")});
    if (!self)
        return false;
    bool mayClose = choice == 1;
    if (choice == 0) {
        saveToNewFile();
        if (!self)
            return false;
        mayClose = !hasChangesOnlyInSession();
    }
    m_isPresentingRecoveryAlert = false;
    return mayClose;
}
