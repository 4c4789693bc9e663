#pragma once

#include "document/ContentMark.h"
#include "document/DocumentService.h"
#include "document/ReplacedFileWatcher.h"
#include "platform/FileWatcher.h"
#include "platform/Scheduler.h"
#include "session/CommittedSnapshot.h"
#include "sync/DocumentColor.h"
#include "sync/DocumentControllerFailure.h"
#include "sync/DocumentWriter.h"
#include "sync/SyncState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class DialogPresenter;
class SessionController;
struct FileCheck;
struct ListLoad;
struct SaveJob;
struct SummaryJob;

// Binds the editing session of one open document to its file: opens, creates and imports files,
// writes the session back after every committed change, watches the file, and decides by comparing
// texts whether a change made by another program is reloaded silently or conflicts with unsaved
// work. The panel shows the published status, file, colour and state, and blocks editing while the
// state forbids saving. Main thread only; the files are read and written on its writer's thread.
class VeskDocumentController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString appStatus READ appStatus NOTIFY appStatusChanged)
    Q_PROPERTY(QUrl selectedFileURL READ selectedFileURL NOTIFY selectedFileURLChanged)
    Q_PROPERTY(bool hasSelectedFile READ hasSelectedFile NOTIFY selectedFileURLChanged)
    Q_PROPERTY(DocumentColor documentColor READ documentColor NOTIFY documentColorChanged)
    Q_PROPERTY(SyncState syncState READ syncState NOTIFY syncStateChanged)

public:
    static QString initialStatus() { return QStringLiteral("Choose a Vesk file to get started"); }
    static QString fileProblemMessage() { return QStringLiteral("Vesk hit a file problem"); }
    static QString defaultRecoveryMessage()
    {
        return QStringLiteral(
            "This file changed outside Vesk. Reload from disk to discard Vesk’s current session, "
            "or save the current session to a new file.");
    }
    // Why a file chosen for a new list is refused: another open document works on it.
    static QString fileIsOpenMessage()
    {
        return QStringLiteral("This file is open in Vesk as another list. Vesk won’t replace a list "
                              "that is open; choose another name, or close that list first.");
    }
    // The name proposed for a new file.
    static QString defaultFileName() { return QStringLiteral("Vesk.vesk"); }
    // How long the document's path may stay empty after its file was renamed away before the
    // document follows the file: editors that keep a backup rename the file away and only then
    // write the new one under its name, which on a slow disk or a large file takes a while.
    static constexpr double fileMoveSettlingDelay = 2.0;
    // A list read on this thread with at least this many tasks has the summaries a search reads
    // (TextSummary) made on the writer's thread afterwards, as a list loaded there comes with them:
    // a shorter one is searched quickly enough from its tasks.
    static constexpr qsizetype summarizedTaskCount = 10000;

    // dialogs answers every alert and panel of this document and must outlive the controller;
    // scheduler drives the session's transitions, the coalescing of file notifications and the
    // wait after the file left its path.
    explicit VeskDocumentController(
        DialogPresenter* dialogs, Scheduler* scheduler = Scheduler::system(), QObject* parent = nullptr);
    ~VeskDocumentController() override;

    const QUuid& id() const { return m_id; }
    const DocumentService& documentService() const { return m_documentService; }
    SessionController* sessionController() const { return m_sessionController; }

    // Told the new file URL whenever the controller binds to a file or the file moves.
    std::function<void(const QUrl&)> onSelectedFileURLChange;
    // Whether another open document works on the file; such a file is never opened, created or
    // saved to here. Set by the application controller.
    std::function<bool(const QUrl&)> isFileOpenElsewhere;
    // Where the file dialogs start while no file is bound (the folder used last). Set by the
    // application controller.
    std::function<QString()> defaultDialogFolder;
    // Runs the start of the work a list loaded here leaves for the writer's thread (its search
    // summaries, see summarizedTaskCount) when it may begin: set by the application controller, so
    // that a launch draws its first window before. Unset: at once.
    std::function<void(std::function<void()>)> runAfterLaunch;

    // --- Published fields ---
    const QString& appStatus() const { return m_appStatus; }
    const QUrl& selectedFileURL() const { return m_selectedFileURL; }
    bool hasSelectedFile() const { return !m_selectedFileURL.isEmpty(); }
    DocumentColor documentColor() const { return m_documentColor; }
    SyncState syncState() const { return m_syncState; }

    // --- Internal state, readable for inspection ---
    FileWatcher* fileObserver() const { return m_fileObserver; }
    ReplacedFileWatcher* replacedFiles() const { return m_replacedFiles; }
    // Marks what the file was last seen to hold: read from it or written to it.
    const std::optional<ContentMark>& lastPersistedContent() const { return m_lastPersistedContent; }
    // True while a recovery or file problem alert of this document is on screen.
    bool isPresentingRecoveryAlert() const { return m_isPresentingRecoveryAlert; }
    // Saves and checks of the file run here, one at a time; finished() follows each.
    DocumentWriter* writer() const { return m_writer; }

    // --- Opening and creating ---
    // What opening does with a file that is plain text rather than a task file: files the user
    // chose may be imported after asking; files known as task files (restored, recent) are refused.
    enum class PlainText { refuse, offerImport };
    // Loads a task file, or imports a plain-text one when plainText allows it and the user agrees.
    // The session and the binding stay as they were when it fails.
    std::optional<DocumentControllerFailure> openDocument(
        const QUrl& url, bool alreadyAccessing = false, PlainText plainText = PlainText::refuse);
    // openDocument with the reading, parsing and making ready of the tasks on the writer's thread, so
    // that a long list freezes no window: done runs here once the list is loaded and bound (no
    // failure) or could not be (the session and the binding as they were), after the import
    // question when a plain-text file may be imported. It does not run when the opening is cancelled.
    using OpeningDone = std::function<void(const std::optional<DocumentControllerFailure>&)>;
    void openDocumentInBackground(
        const QUrl& url, bool alreadyAccessing, PlainText plainText, OpeningDone done);
    // From openDocumentInBackground until its done has begun to run or it was cancelled.
    bool isOpening() const { return m_opening.has_value(); }
    // The file being opened; empty when none.
    QUrl openingURL() const { return m_opening ? m_opening->url : QUrl(); }
    // Forgets the opening in flight: nothing of it is loaded, and its done does not run.
    void cancelOpening();
    // Writes the new-file template to url and loads it.
    std::optional<DocumentControllerFailure> createDocument(const QUrl& url);
    // The open panel, then openDocumentInBackground with the import prompt; failures are shown to the
    // user. For a document without a file (a panel's welcome view).
    void chooseAndOpenFile();
    // The save panel, then createDocument; failures are shown to the user.
    void chooseAndCreateFile();

    // --- Keeping the file and the session in step ---
    // Runs after every committed change of the session: hands the committed content to the writer.
    // Changes committed while a save runs are written together by the next one.
    void saveCommittedChange();
    // True while a save or a check of the file is running or a save waits for its turn.
    bool isWriting() const;
    // Blocks until every save handed to the writer and waiting for it is on disk (or has failed),
    // with its outcome taken in, and the checks that waited for them have run.
    void waitForWrites();
    // Runs when the document's panel becomes key and when the application becomes active. The file
    // is read and compared on the writer's thread; the answer is acted on here once it is in (from
    // the event loop, or at once from waitForWrites): reloaded when nothing would be lost, else a
    // conflict. Asked again while a check runs, it checks once more after it.
    void checkForExternalChanges();
    // When the document is closed: stops watching the file.
    void stopFileAccess();
    // True when the session holds work that the file does not.
    bool hasUnpersistedChanges() const;
    // True when the session holds changes that its file does not have and that no save will
    // write: the file is gone or no longer a task file, changed elsewhere, read-only, or a save
    // failed. Closing the document then loses them.
    bool hasChangesOnlyInSession() const;
    // Lands running transitions and writes them, without alerts: a save that fails only changes the
    // state, which prepareToClose asks about and the status line shows.
    void finishPendingWork();
    // Before the document closes or the application quits: finishPendingWork, then, when changes would still
    // be lost, asks whether to save them to a new file, discard them or keep the document open. True when the
    // document may close.
    bool prepareToClose();

    // --- Recovery, offered by the alerts ---
    // Whether the file needs the user's decision (editing is paused until then).
    bool canResolveFileProblem() const;
    // Offers the recovery choices of the current file problem again, after an alert was cancelled.
    void resolveFileProblem();

    // Reads the file again and loads it in place of the session, on the writer's thread. Until it is
    // loaded, editing is paused and nothing is saved; a failure makes the file unavailable.
    void reloadFromDisk();
    // True from reloadFromDisk until the file's tasks are loaded or it failed.
    bool isReloading() const { return m_reload.has_value(); }
    // Saves everything the session holds, open editors included, to a file the user chooses, and
    // works on that file from then on. A reload still in flight is dropped: the session is what is saved.
    void saveToNewFile();

    // --- File notifications ---
    void noteExternalChange();
    // The file left the document's path for newURL. The document follows only when nothing takes
    // its place within fileMoveSettlingDelay; a file that does is a save by another program.
    void handleFileMove(const QUrl& newURL);
    // True while the file is away from the document's path and it is not yet known whether it moved.
    bool isWaitingForFileMove() const { return !m_fileMovedToURL.isEmpty(); }

    // The path of a file URL, cleaned.
    static QString localPath(const QUrl& url);
    // The folder the open and save panels start in: the bound file's, else defaultDialogFolder.
    QString dialogFolder() const;
    static QString lastPathComponent(const QUrl& url);
    // Lets go of garbage on the writer's thread (a window's copy of a list it no longer shows).
    void freeOnWriter(std::shared_ptr<const void> garbage);

signals:
    // isOpening changed.
    void openingChanged();
    void appStatusChanged();
    void selectedFileURLChanged();
    void documentColorChanged();
    void syncStateChanged();

private:
    void setAppStatus(const QString& status);
    void setSelectedFileURL(const QUrl& url);
    void setDocumentColor(DocumentColor color);
    void setSyncState(SyncState state);
    // Editing is paused while the state forbids saving and while a reload is on its way.
    void updateEditingBlocked();

    void bindFile(const QUrl& url, bool alreadyAccessing);
    // The file now holds what mark marks. snapshot is the session's content that it came from;
    // without one, the session's content now.
    void recordPersisted(
        const ContentMark& mark, const QUrl& url, std::optional<CommittedSnapshot> snapshot = std::nullopt);
    // Loads what was read from the file at url into the session and records it as persisted. The
    // text goes before the session builds its tasks, the document once it has (on the writer's thread).
    void loadContents(DocumentContents contents, const QUrl& url);
    // Whether the session's committed content differs from what the file was last seen to hold.
    bool committedContentDiffersFromPersisted() const;
    void observeFile(const QUrl& url);
    // Puts right what other programs wrote late into files that saves replaced. False when that
    // took the session's last save off the disk, which puts the session in conflict.
    bool settleReplacedFiles();
    // The writer's side of saving and checking.
    void startNextSave();
    void finishSave(SaveJob& job, const QUrl& url);
    void failSave(const DocumentControllerFailure& failure);
    void startChangeCheck();
    // Takes in the answer of the check started by checkForExternalChanges when revision was
    // m_fileRevision; an answer about an earlier path or text is dropped and the check asked again.
    void finishExternalChangeCheck(FileCheck& check, quint64 revision);
    void takeInExternalChangeCheck(FileCheck& check);
    // Hands the tasks a check read from a changed file, when they were not loaded, to the writer to be freed.
    void letGoOfChange(FileCheck& check);
    void runWorkWaitingForWriter();
    // Loading on the writer's thread: opening and reloading.
    void startOpening(std::shared_ptr<ListLoad> load);
    void finishOpening(ListLoad& load, quint64 serial);
    void startReload();
    void finishReload(ListLoad& load, quint64 serial);
    // Forgets the reload in flight, whose answer then stops early and is not taken in; the status
    // before it comes back.
    void dropReload();
    // Hands the tasks of a load that were not taken to the writer to be freed.
    void letGoOfLoad(ListLoad& load);
    // The search summaries of a list loaded on this thread: made on the writer's thread when it has
    // nothing else to do, and handed to the session if its search can still use them.
    void startSummaries();
    void finishSummaries(SummaryJob& job);
    // The summaries wanted for a list about to be replaced: not made, or not taken when they come.
    void dropSummaries();
    // After a list was loaded, with what the session let go of (SessionController::loadContent):
    // that and the snapshot last persisted, the list shown before, are freed on the writer once the
    // windows have let go of it too, and the writer then hands the free memory back to the system.
    // Before recordPersisted.
    void freeReplacedContentLater(std::shared_ptr<const void> replaced);
    // Lets the writer finish what it was handed before the binding or the session is replaced,
    // without alerts: what failed shows in the state and the status.
    void settleWritesQuietly();
    // Reads a task file: a read failure, or unreadableAsVesk when the text is no task file. The
    // contents come without their text.
    std::optional<DocumentControllerFailure> readTaskFile(const QUrl& url, DocumentContents& contents) const;

    // Decides a pending move once the path holds a file again (the document stays) or, when
    // windowEnded, once the wait is over (the document follows the file). True when no move is
    // pending any more.
    bool settleFileMove(bool windowEnded);
    void followFileMove(const QUrl& newURL);
    void stopWaitingForFileMove();

    void handleSaveError(const DocumentControllerFailure& failure);
    void handleObservedFileError(const DocumentControllerFailure& failure);
    void presentRecoveryAlert(const QString& message = defaultRecoveryMessage());
    void presentFileProblemAlert(const QString& message);
    void presentErrorAlert(const QString& description);
    // Why the file needs attention, for the alerts that offer the recovery choices again.
    QString fileProblemDescription() const;
    // Why closing now would lose changes.
    QString closingReason() const;

    QUuid m_id = QUuid::createUuid();
    DocumentService m_documentService;
    SessionController* m_sessionController;
    DialogPresenter* m_dialogs;
    Scheduler* m_scheduler;

    QString m_appStatus = initialStatus();
    QUrl m_selectedFileURL;
    DocumentColor m_documentColor = DocumentColor::blue;
    SyncState m_syncState = SyncState::inSync;
    QPointer<FileWatcher> m_fileObserver;
    ReplacedFileWatcher* m_replacedFiles;
    std::optional<ContentMark> m_lastPersistedContent;
    // Counts the changes of the path and of m_lastPersistedContent: what the writer found out about
    // an earlier one is stale.
    quint64 m_fileRevision = 0;
    bool m_isPresentingRecoveryAlert = false;

    // While a move is pending: where the file went, a watcher on the path it left, the end of the
    // wait, and whether a committed change waits to be written.
    QUrl m_fileMovedToURL;
    QPointer<FileWatcher> m_vacatedPathObserver;
    ScheduledJob m_fileMoveDecision;
    bool m_saveWaitsForFileMove = false;

    // True while finishPendingWork writes what is left: the problem alerts wait (see there).
    bool m_isWritingQuietly = false;
    // The message of the last recovery or file problem alert.
    QString m_fileProblem;

    DocumentWriter* m_writer;
    // The content of the latest committed change not yet handed to the writer.
    std::optional<CommittedSnapshot> m_pendingSave;
    // The session content that the file was last seen to hold; set whenever m_lastPersistedContent is.
    std::optional<CommittedSnapshot> m_persistedSnapshot;
    bool m_saveRunning = false;
    // A save found the file changed with nothing unsaved: the change is written back once the check
    // that reads it has loaded it. Until anything is recorded as persisted.
    bool m_writesBackChange = false;
    // Asked for while the writer was busy, done once it is idle.
    bool m_changeNoticedWhileWriting = false;
    bool m_checkWaitsForWriter = false;
    // The check started by checkForExternalChanges, from then until its answer is taken in.
    std::shared_ptr<const FileCheck> m_queuedCheck;
    // Counts the loads started, so that the answer of one that was dropped is known as such.
    quint64 m_loadSerial = 0;
    // The opening in flight (see openDocumentInBackground).
    struct Opening {
        QUrl url;
        bool alreadyAccessing = false;
        PlainText plainText = PlainText::refuse;
        OpeningDone done;
        quint64 serial = 0;
        // What the writer runs for it, told when the opening is dropped.
        std::shared_ptr<ListLoad> load;
    };
    std::optional<Opening> m_opening;
    // The reload in flight, and whether the writer has it yet: it waits for a save or check running.
    struct Reload {
        QUrl url;
        quint64 serial = 0;
        bool started = false;
        // The status before, shown again when the reload fails or is dropped.
        QString statusBefore;
        // What the writer runs for it once started, told when the reload is dropped.
        std::shared_ptr<ListLoad> load;
    };
    std::optional<Reload> m_reload;
    bool m_replacedFilesWaitForWriter = false;
    // The summaries wanted for the session's list, from when it was loaded until they are taken.
    std::shared_ptr<SummaryJob> m_summaries;
};
