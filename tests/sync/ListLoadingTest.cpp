// Opening a list and reloading it from disk on the writer's thread: the interface thread only swaps
// the loaded tasks in, and nothing the user does while the list is on its way is lost or written
// over the file.
#include "OpenListFixture.h"
#include "document/DocumentFormat.h"
#include "sync/TaskFileRead.h"

#include <QDir>

#include <cstdio>
#include <future>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

const QByteArray mine = "Write report\n---\nBuy stamps\n---\n";
const QByteArray theirs = "Theirs\n---\n---\n";

void saveAsAnotherEditor(const QString& path, const QByteArray& bytes)
{
    writeBytes(path + ".part", bytes);
    QCOMPARE(
        std::rename(QFile::encodeName(path + ".part").constData(), QFile::encodeName(path).constData()), 0);
}

QStringList titles(const QList<VeskTask>& tasks)
{
    QStringList result;
    for (const VeskTask& task : tasks)
        result.append(task.title);
    return result;
}

// What opening the file synchronously says about it, for comparing the messages.
QString synchronousFailure(const QString& path)
{
    DocumentContents contents;
    const auto failure = readTaskFile(DocumentService(), path, contents);
    return failure ? describeFailure(*failure) : QString();
}

// A list whose file another program changed while the session committed a change of its own: the
// recovery alert's situation.
struct Conflicted : OpenList {
    Conflicted()
    {
        QVERIFY(open(mine));
        saveAsAnotherEditor(path, theirs);
        // The save finds the other program's text; the alert is cancelled.
        addTask(QStringLiteral("Mine"));
        QCOMPARE(controller.syncState(), SyncState::externallyModifiedConflicted);
        dialogs.alerts.clear();
    }
};

// A document controller opening a file in the background, with what its completion was told.
struct Opening {
    QTemporaryDir folder;
    ManualScheduler scheduler;
    ScriptedDialogPresenter dialogs;
    std::unique_ptr<VeskDocumentController> controller
        = std::make_unique<VeskDocumentController>(&dialogs, &scheduler);
    int doneCount = 0;
    std::optional<DocumentControllerFailure> failure;

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(name);
        writeBytes(path, bytes);
        return path;
    }
    void start(const QString& path, VeskDocumentController::PlainText plainText)
    {
        controller->openDocumentInBackground(QUrl::fromLocalFile(path), false, plainText,
            [this](const std::optional<DocumentControllerFailure>& outcome) {
                ++doneCount;
                failure = outcome;
            });
    }
    SessionController& session() { return *controller->sessionController(); }
};

} // namespace

class ListLoadingTest : public QObject {
    Q_OBJECT

private slots:
    void reloadingFromDisk_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* scenario :
            {"loaded", "keys pressed meanwhile", "saved to a new file meanwhile", "checked meanwhile",
                "changed again meanwhile", "closed meanwhile", "file gone", "not UTF-8", "not a task file"})
            QTest::newRow(scenario) << QString::fromLatin1(scenario);
    }

    void reloadingFromDisk()
    {
        QFETCH(QString, scenario);
        Conflicted f;
        if (scenario == QLatin1String("file gone"))
            QVERIFY(QFile::remove(f.path));
        else if (scenario == QLatin1String("not UTF-8"))
            saveAsAnotherEditor(f.path, "Caf\xe9\n---\n---\n");
        else if (scenario == QLatin1String("not a task file"))
            saveAsAnotherEditor(f.path, "just lines\n");
        const QString expectedFailure = synchronousFailure(f.path);
        const QString statusBefore = f.controller.appStatus();

        f.controller.reloadFromDisk();
        // On its way: the session is the user's until the file's tasks are in, and it takes no edits.
        QVERIFY(f.controller.isReloading());
        QVERIFY(f.controller.isWriting());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloading list.vesk…"));
        QVERIFY(f.session().editingBlocked());
        QCOMPARE(titles(f.session().committedDocument().inboxItems).constFirst(), QStringLiteral("Mine"));

        if (!expectedFailure.isEmpty()) {
            // The same message as reading the file on the spot gives.
            f.controller.waitForWrites();
            QCOMPARE(f.controller.syncState(), SyncState::unavailable);
            QCOMPARE(f.dialogs.alerts.size(), 1);
            QCOMPARE(f.dialogs.alerts[0].informativeText, expectedFailure);
            QVERIFY(f.dialogs.alerts[0].buttons.isEmpty());
            QVERIFY(!f.controller.isReloading());
            QCOMPARE(f.controller.appStatus(), statusBefore);
            QVERIFY(f.controller.hasChangesOnlyInSession());
            return;
        }
        if (scenario == QLatin1String("keys pressed meanwhile")) {
            // Keys that would change the list do nothing; nothing is saved over the file.
            f.session().beginCreatingNewItem(QStringLiteral("Typed meanwhile"));
            f.session().commitNewItem();
            f.session().setSelection(SessionSelection::task(f.session().inboxItemIDs().constFirst()));
            f.session().deleteSelectedItem();
            QCOMPARE(titles(f.session().committedDocument().inboxItems).constFirst(), QStringLiteral("Mine"));
        } else if (scenario == QLatin1String("saved to a new file meanwhile")) {
            // The later choice wins: the new file gets what the session holds, and the reload, whose
            // answer comes after, does not replace it with the old file's tasks.
            const QString copy = f.folder.filePath(QStringLiteral("copy.vesk"));
            f.dialogs.filesToSave = {copy};
            f.controller.saveToNewFile();
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved copy.vesk"));
            QVERIFY(!f.controller.isReloading());
            QVERIFY(readBytes(copy).contains("Mine"));
            QCOMPARE(titles(f.session().committedDocument().inboxItems).constFirst(), QStringLiteral("Mine"));
            QCOMPARE(readBytes(f.path), theirs);
            QVERIFY(!f.session().editingBlocked());
            f.addTask(QStringLiteral("Later"));
            QVERIFY(readBytes(copy).contains("Later"));
            QCOMPARE(readBytes(f.path), theirs);
            return;
        } else if (scenario == QLatin1String("checked meanwhile")) {
            // The window becomes key while the file is read: the check waits, and finds it loaded.
            f.controller.checkForExternalChanges();
        } else if (scenario == QLatin1String("changed again meanwhile")) {
            f.controller.waitForWrites();
            saveAsAnotherEditor(f.path, "Later\n---\n---\n");
            f.controller.checkForExternalChanges();
            f.controller.waitForWrites();
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Later"});
            return;
        } else if (scenario == QLatin1String("closed meanwhile")) {
            // Closing takes the reload in: the user chose to drop the session's changes, so there is
            // nothing to ask about and the other program's text stays.
            QVERIFY(f.controller.prepareToClose());
            QVERIFY(f.dialogs.alerts.isEmpty());
        }
        f.controller.waitForWrites();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QVERIFY(f.session().committedDocument().inboxItems.isEmpty());
        QVERIFY(f.dialogs.alerts.isEmpty());
        QCOMPARE(readBytes(f.path), theirs);
        // Saved from here on, over the text it was loaded from.
        f.addTask(QStringLiteral("After"));
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\nAfter\n---\n"));
    }

    // Reloading a list whose session has no problem (asked for directly): keys do nothing while the
    // file is read, and a completion that lands meanwhile is not saved over the other program's text.
    void aReloadPausesSaving()
    {
        OpenList f;
        QVERIFY(f.open(mine));
        f.session().setSelection(SessionSelection::task(f.session().inboxItemIDs().constFirst()));
        f.session().toggleSelectedItemCompletion();
        saveAsAnotherEditor(f.path, theirs);
        f.controller.reloadFromDisk();
        QVERIFY(f.session().editingBlocked());
        f.session().beginCreatingNewItem(QStringLiteral("Typed meanwhile"));
        f.session().commitNewItem();
        QVERIFY(
            !titles(f.session().committedDocument().inboxItems).contains(QStringLiteral("Typed meanwhile")));
        f.scheduler.advance(10);
        QVERIFY(f.session().committedDocument().inboxItems.isEmpty());
        f.controller.waitForWrites();
        QCOMPARE(readBytes(f.path), theirs);
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
    }

    void theListAReloadReplacedIsFreedOnTheWriter_data()
    {
        QTest::addColumn<bool>("fromDisk");
        QTest::newRow("changed by another program") << false;
        QTest::newRow("reloaded from disk") << true;
    }

    void theListAReloadReplacedIsFreedOnTheWriter()
    {
        // Freeing a long list takes as long as making it: what a reload replaced, with its undo
        // history, is held until the windows have let go of it too, and then freed on the writer.
        QFETCH(bool, fromDisk);
        OpenList f;
        QVERIFY(f.open(mine));
        f.addTask(QStringLiteral("Mine"));
        // Held here too, so that whether anything else still holds them shows: the inbox before the
        // delete is held by the undo history alone.
        const ItemIDList inboxBefore = f.session().inboxItemIDs();
        f.session().setSelection(SessionSelection::task(f.session().inboxItemIDs().constFirst()));
        f.session().deleteSelectedItem();
        f.controller.waitForWrites();
        const ItemIDList working = f.session().workingItemIDs();
        const ItemIDList inbox = f.session().inboxItemIDs();
        QVERIFY(!inboxBefore.isSharedWith(inbox));
        // Its searched texts folded ahead, which go with it.
        f.scheduler.advance(1);

        saveAsAnotherEditor(f.path, theirs);
        if (fromDisk)
            f.controller.reloadFromDisk();
        else
            f.controller.checkForExternalChanges();
        f.controller.waitForWrites();
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QVERIFY(f.session().undoStack().isEmpty());
        QVERIFY(!working.isDetached() && !inbox.isDetached() && !inboxBefore.isDetached());

        f.scheduler.advance(1);
        // The writer frees what it is handed before it runs the next piece of work; meanwhile the
        // new list is searched here.
        f.controller.writer()->start([] {}, [] {});
        f.session().setFilterQuery(QStringLiteral("thei"));
        const QList<RenderedRow> shown = f.session().renderedRows();
        const QUuid theirsID = f.session().workingItemIDs().constFirst();
        QVERIFY(std::any_of(
            shown.begin(), shown.end(), [&](const RenderedRow& row) { return row.itemID == theirsID; }));
        f.controller.writer()->wait();
        QVERIFY(working.isDetached());
        QVERIFY(inbox.isDetached());
        QVERIFY(inboxBefore.isDetached());
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
    }

    void openingInTheBackground_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("offerImport");
        QTest::addColumn<int>("importAnswer");
        QTest::addColumn<QString>("failure");
        const QString notVesk = FileAccessError::unreadableAsVesk().description();
        const QString declined = QStringLiteral("The selected file was not imported into Vesk.");
        QTest::newRow("task file") << mine << false << -2 << QString();
        QTest::newRow("plain text, refused") << QByteArray("milk\n") << false << -2 << notVesk;
        QTest::newRow("plain text imported") << QByteArray("milk\neggs\n") << true << 0 << QString();
        QTest::newRow("plain text not imported") << QByteArray("milk\neggs\n") << true << 1 << declined;
        QTest::newRow("not UTF-8") << QByteArray("Caf\xe9\n---\n---\n") << true << -2 << QString("=sync");
        QTest::newRow("gone") << QByteArray() << false << -2 << QString("=sync");
    }

    void openingInTheBackground()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, offerImport);
        QFETCH(int, importAnswer);
        QFETCH(QString, failure);
        Opening o;
        QString path = o.folder.filePath(QStringLiteral("list.vesk"));
        if (!bytes.isEmpty())
            o.file(QStringLiteral("list.vesk"), bytes);
        if (failure == QLatin1String("=sync"))
            failure = synchronousFailure(path);
        if (importAnswer >= 0)
            o.dialogs.alertAnswers = {importAnswer};
        o.start(path,
            offerImport ? VeskDocumentController::PlainText::offerImport
                        : VeskDocumentController::PlainText::refuse);
        // Nothing is bound or loaded before the answer is in.
        QVERIFY(o.controller->isOpening());
        QCOMPARE(o.controller->openingURL(), QUrl::fromLocalFile(path));
        QVERIFY(!o.controller->hasSelectedFile());
        QCOMPARE(o.doneCount, 0);
        o.controller->waitForWrites();
        QCOMPARE(o.doneCount, 1);
        QVERIFY(!o.controller->isOpening());
        QCOMPARE(o.dialogs.alerts.size(), importAnswer >= 0 ? 1 : 0);
        if (importAnswer >= 0)
            QCOMPARE(o.dialogs.alerts[0].message, QStringLiteral("Import as Vesk file?"));
        if (!failure.isEmpty()) {
            QVERIFY(o.failure);
            QCOMPARE(describeFailure(*o.failure), failure);
            QVERIFY(!o.controller->hasSelectedFile());
            QCOMPARE(o.session().committedDocument(), VeskDocument());
            if (!bytes.isEmpty())
                QCOMPARE(readBytes(path), bytes);
            return;
        }
        QVERIFY(!o.failure);
        QCOMPARE(o.controller->selectedFileURL(), QUrl::fromLocalFile(path));
        QCOMPARE(o.controller->appStatus(), QStringLiteral("Loaded list.vesk"));
        if (importAnswer == 0) {
            QCOMPARE(titles(o.session().committedDocument().inboxItems), (QStringList {"milk", "eggs"}));
            QCOMPARE(readBytes(path), QByteArray("\n---\nmilk\neggs\n---\n"));
        } else {
            QCOMPARE(o.session().committedDocument(), parseDocument(QString::fromUtf8(bytes)));
        }
        // The file is the document's now: a change is saved to it.
        o.session().beginCreatingNewItem(QStringLiteral("Added"));
        o.session().commitNewItem();
        o.controller->waitForWrites();
        QVERIFY(readBytes(path).contains("Added"));
    }

    // An opening dropped while it waits for the writer does not read the file once the writer comes to
    // it: closing its window or quitting does not wait for a long list to be read and parsed.
    void anOpeningDroppedBeforeItsTurnReadsNothing()
    {
        for (const bool dropped : {true, false}) {
            Opening o;
            const QString path = o.file(QStringLiteral("list.vesk"), mine);
            // The writer is busy freeing something else until the test lets it go on.
            std::promise<void> release;
            std::shared_future<void> released = release.get_future().share();
            o.controller->writer()->dispose(
                std::shared_ptr<const int>(new int(0), [released](const int* garbage) {
                    released.wait();
                    delete garbage;
                }));
            const int opens = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
            QVERIFY(::inotify_add_watch(opens, QFile::encodeName(path).constData(), IN_OPEN) >= 0);
            o.start(path, VeskDocumentController::PlainText::refuse);
            if (dropped)
                o.controller->cancelOpening();
            release.set_value();
            o.controller->waitForWrites();
            alignas(inotify_event) char events[4096];
            const bool opened = ::read(opens, events, sizeof events) > 0;
            ::close(opens);
            QCOMPARE(opened, !dropped);
            QCOMPARE(o.doneCount, dropped ? 0 : 1);
            QCOMPARE(o.controller->hasSelectedFile(), !dropped);
        }
    }

    // An opening that is dropped (its document closed, or another opening started) loads nothing and
    // tells no one; one dropped while the import question is on screen imports nothing.
    void droppedOpenings()
    {
        for (const QString way : {"cancelled", "closed", "opened another", "closed during the question"}) {
            Opening o;
            const bool asks = way == QLatin1String("closed during the question");
            const QString path = o.file(QStringLiteral("list.vesk"), asks ? QByteArray("milk\n") : mine);
            const QString other = o.file(QStringLiteral("other.vesk"), theirs);
            o.start(path, VeskDocumentController::PlainText::offerImport);
            if (way == QLatin1String("cancelled")) {
                o.controller->cancelOpening();
            } else if (way == QLatin1String("closed")) {
                o.controller->stopFileAccess();
            } else if (way == QLatin1String("opened another")) {
                o.start(other, VeskDocumentController::PlainText::refuse);
            } else {
                o.dialogs.alertAnswers = {0};
                o.dialogs.whileAlertShows = [&] { o.controller->stopFileAccess(); };
            }
            o.controller->waitForWrites();
            QVERIFY(!o.controller->isOpening());
            if (way == QLatin1String("opened another")) {
                QCOMPARE(o.doneCount, 1);
                QCOMPARE(o.controller->selectedFileURL(), QUrl::fromLocalFile(other));
                QCOMPARE(titles(o.session().committedDocument().workingItems), QStringList {"Theirs"});
                continue;
            }
            QCOMPARE(o.doneCount, 0);
            QVERIFY(!o.controller->hasSelectedFile());
            QCOMPARE(o.session().committedDocument(), VeskDocument());
            QCOMPARE(readBytes(path), asks ? QByteArray("milk\n") : mine);
        }
    }

    void searchSummariesOfAListOpenedHere_data()
    {
        QTest::addColumn<bool>("searchedBefore");
        QTest::newRow("edited before they come") << false;
        QTest::newRow("edited and searched before they come") << true;
    }

    void searchSummariesOfAListOpenedHere()
    {
        QFETCH(bool, searchedBefore);
        // A long list opened on this thread has its search summaries made on the writer's thread
        // afterwards. Tasks edited before they come (searched for meanwhile or not) and after are
        // found by their new text, and every edit is saved.
        OpenList f;
        const int count = int(VeskDocumentController::summarizedTaskCount);
        QByteArray text;
        for (int n = 0; n < count; ++n)
            text += "Task " + QByteArray::number(n) + "\n";
        QVERIFY(f.open(text + "---\n---\n"));
        SessionController& session = f.session();
        const ItemIDList ids = session.workingItemIDs();
        QCOMPARE(ids.size(), count);
        QVERIFY(f.controller.isWriting());
        const auto rename = [&](qsizetype row, const QString& title) {
            session.beginEditingItem(ids.at(row));
            session.updateInlineEditDraft(title);
            session.commitInlineEdit();
        };
        const auto found = [&](const QString& query) {
            session.setFilterQuery(query);
            QStringList titles;
            for (const RenderedRow& row : session.renderedRows())
                if (row.kind == RenderedRow::Kind::task)
                    titles.append(session.itemsByID().value(row.itemID).title);
            session.setFilterQuery(QString());
            return titles;
        };

        // Before they come: tasks renamed, perhaps searched for at once, which the search follows.
        rename(count - 2, QStringLiteral("Quince"));
        if (searchedBefore)
            QCOMPARE(found(QStringLiteral("q")), QStringList {QStringLiteral("Quince")});
        rename(count - 1, QStringLiteral("Zebra"));
        QVERIFY(f.controller.isWriting());
        f.controller.waitForWrites();
        // Letters searched for first now, which only the new texts hold.
        QCOMPARE(found(QStringLiteral("z")), QStringList {QStringLiteral("Zebra")});
        QCOMPARE(found(QStringLiteral("c")), QStringList {QStringLiteral("Quince")});
        // After: a task renamed, one added.
        rename(count - 3, QStringLiteral("Jay"));
        session.beginCreatingNewItem(QStringLiteral("Juniper"));
        session.commitNewItem();
        QCOMPARE(
            found(QStringLiteral("j")), (QStringList {QStringLiteral("Jay"), QStringLiteral("Juniper")}));
        f.controller.waitForWrites();
        const QByteArray saved = readBytes(f.path);
        for (const char* title : {"Quince\n", "Zebra\n", "Jay\n", "Juniper\n"})
            QVERIFY(saved.contains(title));
    }
};

QTEST_GUILESS_MAIN(ListLoadingTest)
#include "ListLoadingTest.moc"
