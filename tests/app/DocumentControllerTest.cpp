#include "DocumentFormat.h"
#include "FileWatcher.h"
#include "ManualScheduler.h"
#include "ScriptedDialogPresenter.h"
#include "SessionController.h"
#include "UnprivilegedChild.h"
#include "VeskDocumentController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>

namespace {

const QString fileProblem = QStringLiteral("Vesk hit a file problem");
const QString conflictMessage
    = QStringLiteral("This file changed outside Vesk, and Vesk won’t overwrite those external changes.");
const QString defaultRecovery
    = QStringLiteral("This file changed outside Vesk. Reload from disk to discard Vesk’s "
                     "current session, or save the current session to a new file.");
const QString missingMessage = QStringLiteral("The backing file is no longer available.");
const QString unreadableMessage = QStringLiteral("The backing file can no longer be read.");
const QString unwritableMessage = QStringLiteral("You don’t have permission to save this file anymore.");
const QString notVeskMessage
    = QStringLiteral("The backing file changed and Vesk can no longer read it as a Vesk document.");
const QStringList recoveryButtons {
    QStringLiteral("Reload from Disk"), QStringLiteral("Save to New File…"), QStringLiteral("Cancel")};
const QStringList problemButtons {QStringLiteral("Save to New File…"), QStringLiteral("Cancel")};

const QByteArray initialText = "Write report\n> Outline first\nPay rent\n---\nBuy stamps\n---\nBook flights";

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// How other editors save: a new file renamed over the old one.
void saveAsAnotherEditor(const QString& path, const QByteArray& bytes)
{
    writeBytes(path + QStringLiteral(".part"), bytes);
    QCOMPARE(std::rename(QFile::encodeName(path + QStringLiteral(".part")).constData(),
                 QFile::encodeName(path).constData()),
        0);
}

QStringList titles(const QList<VeskTask>& tasks)
{
    QStringList result;
    for (const VeskTask& task : tasks)
        result.append(task.title);
    return result;
}

// One open document in a temporary folder, with a scripted user and a clock that tests move.
struct Fixture {
    QTemporaryDir folder;
    ManualScheduler scheduler;
    ScriptedDialogPresenter dialogs;
    VeskDocumentController controller {&dialogs, &scheduler};
    QString path = folder.filePath(QStringLiteral("list.vesk"));
    QList<QUrl> announcedURLs;

    Fixture()
    {
        controller.onSelectedFileURLChange = [this](const QUrl& url) { announcedURLs.append(url); };
    }

    SessionController& session() { return *controller.sessionController(); }

    bool open(const QByteArray& text = initialText)
    {
        writeBytes(path, text);
        return !controller.openDocument(QUrl::fromLocalFile(path));
    }

    // A committed change, as the panel makes it: a new task typed into the inbox.
    void addTask(const QString& title)
    {
        session().beginCreatingNewItem(title);
        session().commitNewItem();
    }

    // Lets the file notifications of what just happened arrive, as the event loop would.
    void settle()
    {
        if (controller.fileObserver())
            controller.fileObserver()->processPendingEvents();
        scheduler.advance(1);
    }
};

} // namespace

class DocumentControllerTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithoutAFile()
    {
        Fixture f;
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Choose a Vesk file to get started"));
        QVERIFY(!f.controller.hasSelectedFile());
        QCOMPARE(f.controller.documentColor(), DocumentColor::blue);
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());
        // Without a file nothing is saved or checked.
        f.addTask(QStringLiteral("loose"));
        f.controller.checkForExternalChanges();
        QVERIFY(f.dialogs.alerts.isEmpty());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Choose a Vesk file to get started"));
    }

    void openingLoadsAndBinds()
    {
        Fixture f;
        QSignalSpy statusSpy(&f.controller, &VeskDocumentController::appStatusChanged);
        QVERIFY(f.open());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded list.vesk"));
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(f.path));
        QCOMPARE(f.announcedURLs, QList<QUrl> {QUrl::fromLocalFile(f.path)});
        QCOMPARE(f.controller.documentColor(), documentColorForPath(f.path));
        QCOMPARE(f.session().committedDocument(), parseDocument(QString::fromUtf8(initialText)));
        QCOMPARE(
            f.controller.lastPersistedContents(), std::optional<QString>(QString::fromUtf8(initialText)));
        QVERIFY(f.controller.fileObserver());
        QCOMPARE(statusSpy.count(), 1);
    }

    void failedOpenLeavesSessionAndBindingAlone()
    {
        Fixture f;
        QVERIFY(f.open());
        const VeskDocument before = f.session().committedDocument();
        const QString plain = f.folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(plain, "just\nlines\n");
        auto failure = f.controller.openDocument(QUrl::fromLocalFile(plain));
        QVERIFY(failure);
        QCOMPARE(describeFailure(*failure), notVeskMessage);
        failure
            = f.controller.openDocument(QUrl::fromLocalFile(f.folder.filePath(QStringLiteral("gone.vesk"))));
        QVERIFY(failure);
        QVERIFY(std::get<FileSystemError>(*failure).isNoSuchFile());
        QCOMPARE(f.session().committedDocument(), before);
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(f.path));
        QCOMPARE(readBytes(plain), QByteArray("just\nlines\n"));
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    void ownSaveAndItsNotificationEndInSyncWithoutReload()
    {
        Fixture f;
        QVERIFY(f.open());
        f.addTask(QStringLiteral("Call the bank"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QCOMPARE(readBytes(f.path), serializeDocument(f.session().committedDocument()).toUtf8());
        QVERIFY(readBytes(f.path).contains("Call the bank"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        const QUuid firstTask = f.session().inboxItemIDs().constFirst();

        f.settle();
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        // Not reloaded: the items keep their ids.
        QCOMPARE(f.session().inboxItemIDs().constFirst(), firstTask);
        QVERIFY(f.dialogs.alerts.isEmpty());

        // The watch survives the save's replacement of the file.
        saveAsAnotherEditor(f.path, "Outside\n---\n---\n");
        f.settle();
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
    }

    void externalChangeWithoutUnsavedWorkIsReloaded()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Changed elsewhere\n---\nNew inbox\n---\n");
        f.settle();
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
        QVERIFY(!f.session().editingBlocked());
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Changed elsewhere"});
        QVERIFY(f.dialogs.alerts.isEmpty());
        // Later saves build on the reloaded text.
        f.addTask(QStringLiteral("after reload"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QVERIFY(readBytes(f.path).startsWith("Changed elsewhere\n---\nafter reload\nNew inbox\n"));
    }

    void externalChangeThenCommitRefusesTheSave()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Theirs\n---\n---\n");
        f.settle();
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
        QVERIFY(f.session().editingBlocked());
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\n---\n"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].message, fileProblem);
        QCOMPARE(f.dialogs.alerts[0].informativeText, conflictMessage);
        QCOMPARE(f.dialogs.alerts[0].buttons, recoveryButtons);
        QVERIFY(!f.controller.isPresentingRecoveryAlert());

        // Cancelled: the state stays, nothing is written or checked any more.
        f.session().setEditingBlocked(false);
        f.addTask(QStringLiteral("Still mine"));
        f.controller.checkForExternalChanges();
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\n---\n"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
    }

    void recoveryByReloading()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Theirs\n---\n---\n");
        f.dialogs.alertAnswers = {0};
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QVERIFY(f.session().committedDocument().inboxItems.isEmpty());
    }

    void recoveryBySavingToANewFile()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Theirs\n---\n---\n");
        const QString copy = f.folder.filePath(QStringLiteral("copy.vesk"));
        f.dialogs.alertAnswers = {1};
        f.dialogs.filesToSave = {copy};
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.dialogs.saveRequests.size(), 1);
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("list.vesk"));
        QCOMPARE(f.dialogs.saveRequests[0].nameFilters, QStringList {"Vesk files (*.vesk)"});
        QCOMPARE(f.dialogs.saveRequests[0].defaultSuffix, QStringLiteral("vesk"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved copy.vesk"));
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(copy));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(f.controller.documentColor(), documentColorForPath(copy));
        QVERIFY(readBytes(copy).contains("Mine"));
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\n---\n"));
        // The new file is the one saved and watched from now on.
        f.addTask(QStringLiteral("Next one"));
        QVERIFY(readBytes(copy).contains("Next one"));
        QCOMPARE(f.controller.fileObserver()->path(), copy);
    }

    void savingToANewFileIncludesOpenEdits()
    {
        Fixture f;
        QVERIFY(f.open());
        f.session().beginCreatingNewItem(QStringLiteral("Half typed"));
        const QString copy = f.folder.filePath(QStringLiteral("copy.vesk"));
        f.dialogs.filesToSave = {copy};
        f.controller.saveToNewFile();
        QVERIFY(readBytes(copy).contains("Half typed"));
        // Cancelling the panel changes nothing.
        f.controller.saveToNewFile();
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(copy));
    }

    void openEditorCountsAsUnsavedWork()
    {
        Fixture f;
        QVERIFY(f.open());
        f.session().setSelection(SessionSelection::task(f.session().workingItemIDs().constFirst()));
        f.session().beginEditingSelectedItem();
        QVERIFY(f.session().isTextEditingActive());
        saveAsAnotherEditor(f.path, "Theirs\n---\n---\n");
        f.settle();
        // A notification alone changes nothing while there is unsaved work.
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, defaultRecovery);
        QCOMPARE(f.dialogs.alerts[0].buttons, recoveryButtons);
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\n---\n"));
    }

    void deletedFileBecomesUnavailable()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(QFile::remove(f.path));
        f.settle();
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::unavailable);
        QVERIFY(f.session().editingBlocked());
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].message, fileProblem);
        QCOMPARE(f.dialogs.alerts[0].informativeText, missingMessage);
        QCOMPARE(f.dialogs.alerts[0].buttons, problemButtons);
        QVERIFY(!QFile::exists(f.path));
    }

    void deletedFileFoundBySave()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(QFile::remove(f.path));
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
        QCOMPARE(f.controller.syncState(), SyncState::unavailable);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, missingMessage);
        // The file is not brought back behind the user's back.
        QVERIFY(!QFile::exists(f.path));
    }

    void replacementByANonTaskFileBecomesUnavailable()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "only one\n---\nseparator\n");
        f.settle();
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::unavailable);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, notVeskMessage);
        QCOMPARE(f.dialogs.alerts[0].buttons, problemButtons);
        f.session().setEditingBlocked(false);
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(readBytes(f.path), QByteArray("only one\n---\nseparator\n"));
    }

    void invalidUtf8ReplacementIsUnreadable()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Caf\xe9\n---\n---\n");
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::unavailable);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, unreadableMessage);
        QCOMPARE(readBytes(f.path), QByteArray("Caf\xe9\n---\n---\n"));
    }

    void renamesAndMovesAreFollowed()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("archive")));
        const QString renamed = f.folder.filePath(QStringLiteral("Renamed List.vesk"));
        const QString moved = f.folder.filePath(QStringLiteral("archive/Moved.vesk"));
        QSignalSpy colourSpy(&f.controller, &VeskDocumentController::documentColorChanged);

        QVERIFY(QFile::rename(f.path, renamed));
        f.settle();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Moved to Renamed List.vesk"));
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(renamed));
        QCOMPARE(f.controller.documentColor(), documentColorForPath(renamed));
        QCOMPARE(colourSpy.count(), 1);
        QCOMPARE(f.announcedURLs.constLast(), QUrl::fromLocalFile(renamed));
        f.addTask(QStringLiteral("after rename"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved Renamed List.vesk"));
        QVERIFY(readBytes(renamed).contains("after rename"));
        QVERIFY(!QFile::exists(f.path));

        // The rename of a save does not lose the move-following either.
        f.settle();
        f.controller.checkForExternalChanges();
        QVERIFY(QFile::rename(renamed, moved));
        f.settle();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Moved to Moved.vesk"));
        QCOMPARE(f.controller.documentColor(), documentColorForPath(moved));
        f.addTask(QStringLiteral("after move"));
        QVERIFY(readBytes(moved).contains("after move"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    void colourComesFromTheCaseInsensitivePath()
    {
        // Published FNV-1a test vectors.
        QCOMPARE(fnv1a64(""), 0xcbf29ce484222325ULL);
        QCOMPARE(fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
        QCOMPARE(fnv1a64("foobar"), 0x85944171f73967e8ULL);
        QCOMPARE(documentColorForPath(QStringLiteral("/home/u/Lists/Home.vesk")),
            documentColorPalette[fnv1a64("/home/u/lists/home.vesk") % 6]);

        Fixture upper;
        Fixture lower;
        QVERIFY(QDir(upper.folder.path()).mkdir(QStringLiteral("CASE")));
        const QString upperPath = upper.folder.filePath(QStringLiteral("CASE/Tasks.VESK"));
        QVERIFY(QDir().mkpath(upper.folder.filePath(QStringLiteral("case"))));
        const QString lowerPath = upper.folder.filePath(QStringLiteral("case/tasks.vesk"));
        writeBytes(upperPath, initialText);
        writeBytes(lowerPath, initialText);
        QVERIFY(!upper.controller.openDocument(QUrl::fromLocalFile(upperPath)));
        QVERIFY(!lower.controller.openDocument(QUrl::fromLocalFile(lowerPath)));
        QCOMPARE(upper.controller.documentColor(), lower.controller.documentColor());
        // Paths are cleaned first: "." and ".." do not change the colour.
        QCOMPARE(documentColorForPath(upper.folder.filePath(QStringLiteral("case/./x/../tasks.vesk"))),
            lower.controller.documentColor());
        // And the palette is really used: many paths cover all six colours.
        QSet<DocumentColor> seen;
        for (int i = 0; i < 200; ++i)
            seen.insert(documentColorForPath(QStringLiteral("/lists/%1.vesk").arg(i)));
        QCOMPARE(seen.size(), 6);
    }

    void secondExternalChangeWhileAnAlertIsOpenGivesNoSecondAlert()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, "Theirs\n---\n---\n");
        int round = 0;
        f.dialogs.whileAlertShows = [&] {
            // Events arriving in the alert's modal loop: another change, the notification, an
            // activation and a commit.
            saveAsAnotherEditor(f.path, "Theirs again " + QByteArray::number(++round) + "\n---\n---\n");
            f.settle();
            f.controller.checkForExternalChanges();
            f.controller.saveCommittedChange();
            QVERIFY(f.controller.isPresentingRecoveryAlert());
        };
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.mostAlertsOnScreen, 1);
        QVERIFY(!f.controller.isPresentingRecoveryAlert());
        QCOMPARE(readBytes(f.path), QByteArray("Theirs again 1\n---\n---\n"));
    }

    void closingTheDocumentDuringAnAlertIsSafe()
    {
        QTemporaryDir folder;
        ManualScheduler scheduler;
        ScriptedDialogPresenter dialogs;
        auto* controller = new VeskDocumentController(&dialogs, &scheduler);
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, initialText);
        QVERIFY(!controller->openDocument(QUrl::fromLocalFile(path)));
        saveAsAnotherEditor(path, "Theirs\n---\n---\n");
        dialogs.alertAnswers = {0};
        dialogs.whileAlertShows = [&] { delete controller; };
        controller->sessionController()->beginCreatingNewItem(QStringLiteral("Mine"));
        controller->sessionController()->commitNewItem();
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(readBytes(path), QByteArray("Theirs\n---\n---\n"));
    }

    void creatingWritesTheTemplate()
    {
        Fixture f;
        const QString path = f.folder.filePath(QStringLiteral("fresh.vesk"));
        QVERIFY(!f.controller.createDocument(QUrl::fromLocalFile(path)));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Created fresh.vesk"));
        DocumentContents bundled;
        QVERIFY(!f.controller.documentService().makeNewFileContents(bundled));
        QCOMPARE(readBytes(path), bundled.text.toUtf8());
        QCOMPARE(f.session().committedDocument(), bundled.document);
        QCOMPARE(f.controller.syncState(), SyncState::inSync);

        // A folder in the way: the failure is passed on and nothing changes.
        const QString blocked = f.folder.filePath(QStringLiteral("blocked.vesk"));
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("blocked.vesk")));
        QVERIFY(f.controller.createDocument(QUrl::fromLocalFile(blocked)));
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(path));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Created fresh.vesk"));
    }

    void choosingAFileToCreate()
    {
        Fixture f;
        f.controller.chooseAndCreateFile();
        QCOMPARE(f.dialogs.saveRequests.size(), 1);
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("Vesk.vesk"));
        QVERIFY(!f.controller.hasSelectedFile());

        f.dialogs.filesToSave = {f.folder.filePath(QStringLiteral("missing folder/Vesk.vesk"))};
        f.controller.chooseAndCreateFile();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Could not create file"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].message, fileProblem);
        QVERIFY(f.dialogs.alerts[0].buttons.isEmpty());

        f.dialogs.filesToSave = {f.folder.filePath(QStringLiteral("Vesk.vesk"))};
        f.controller.chooseAndCreateFile();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Created Vesk.vesk"));
    }

    void choosingAFileToOpenOffersTheImport()
    {
        Fixture f;
        const QString notes = f.folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(notes, "milk\neggs\n");
        f.dialogs.filesToOpen = {notes, notes};
        f.dialogs.alertAnswers = {1, 0, 0};
        f.controller.chooseAndOpenFile();
        QCOMPARE(f.dialogs.openRequests.size(), 1);
        QCOMPARE(f.dialogs.openRequests[0], DocumentService::openFileFilters());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Could not open file"));
        QCOMPARE(f.dialogs.alerts.size(), 2);
        QCOMPARE(f.dialogs.alerts[1].informativeText,
            QStringLiteral("The selected file was not imported into Vesk."));
        QCOMPARE(readBytes(notes), QByteArray("milk\neggs\n"));

        f.controller.chooseAndOpenFile();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded notes.txt"));
        QCOMPARE(titles(f.session().committedDocument().inboxItems), (QStringList {"milk", "eggs"}));
        QCOMPARE(readBytes(notes), QByteArray("\n---\nmilk\neggs\n---\n"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
    }

    void readOnlyFileBecomesUnwritable()
    {
        if (runAsUnprivilegedChild())
            return;
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(::chmod(QFile::encodeName(f.path).constData(), 0444), 0);
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
        QCOMPARE(f.controller.syncState(), SyncState::unwritable);
        QVERIFY(f.session().editingBlocked());
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, unwritableMessage);
        QCOMPARE(f.dialogs.alerts[0].buttons, problemButtons);
        QCOMPARE(readBytes(f.path), initialText);
    }

    void lockedFolderStillSavesThroughTheFile()
    {
        if (runAsUnprivilegedChild())
            return;
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(::chmod(QFile::encodeName(f.folder.path()).constData(), 0555), 0);
        f.addTask(QStringLiteral("Mine"));
        ::chmod(QFile::encodeName(f.folder.path()).constData(), 0755);
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(readBytes(f.path).contains("Mine"));
    }

    void unreadableFileBecomesUnavailable()
    {
        if (runAsUnprivilegedChild())
            return;
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(::chmod(QFile::encodeName(f.path).constData(), 0200), 0);
        f.controller.checkForExternalChanges();
        QCOMPARE(f.controller.syncState(), SyncState::unavailable);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.alerts[0].informativeText, unreadableMessage);
    }

    void publishedFieldsNotifyEveryAssignment()
    {
        Fixture f;
        QSignalSpy state(&f.controller, &VeskDocumentController::syncStateChanged);
        QSignalSpy file(&f.controller, &VeskDocumentController::selectedFileURLChanged);
        QVERIFY(f.open());
        QCOMPARE(file.count(), 1);
        QVERIFY(state.count() >= 1);
        QCOMPARE(f.controller.property("syncState").value<SyncState>(), SyncState::inSync);
        QCOMPARE(f.controller.property("appStatus").toString(), QStringLiteral("Loaded list.vesk"));
        QCOMPARE(f.controller.property("hasSelectedFile").toBool(), true);
    }
};

QTEST_GUILESS_MAIN(DocumentControllerTest)
#include "DocumentControllerTest.moc"
