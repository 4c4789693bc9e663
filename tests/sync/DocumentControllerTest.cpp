#include "OpenListFixture.h"
#include "SmallTmpfs.h"
#include "UnprivilegedChild.h"
#include "document/DocumentFormat.h"
#include "document/DocumentWriteLock.h"
#include "document/TemporaryFile.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>

#include <cstdio>
#include <fcntl.h>
#include <future>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString fileProblem = QStringLiteral("Vesk hit a file problem");
const QString unreadableMessage = QStringLiteral("The backing file can no longer be read.");
const QString notVeskMessage = QStringLiteral("The backing file changed and Vesk can no longer read it as "
                                              "a Vesk document.");
const QStringList recoveryButtons {
    QStringLiteral("Reload from Disk"), QStringLiteral("Save to New File…"), QStringLiteral("Cancel")};
const QString conflictMessage = QStringLiteral("This file changed outside Vesk, and Vesk won’t overwrite "
                                               "those external changes.");
const QStringList problemButtons {QStringLiteral("Save to New File…"), QStringLiteral("Cancel")};
const QByteArray initialText = "Write report\n> Outline first\nPay "
                               "rent\n---\nBuy stamps\n---\nBook flights";
const QByteArray theirs = "Theirs\n---\n---\n";

// How other editors save: a new file renamed over the old one.
void saveAsAnotherEditor(const QString& path, const QByteArray& bytes)
{
    writeBytes(path + ".part", bytes);
    QCOMPARE(
        std::rename(QFile::encodeName(path + ".part").constData(), QFile::encodeName(path).constData()), 0);
}

// Tells when another program (here the writer's check) has read a file and closed it again.
class ReadWatch {
public:
    explicit ReadWatch(const QString& path) : m_fd(::inotify_init1(IN_CLOEXEC))
    {
        // Opens too: the kernel merges an event into the same one queued just before it.
        ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN | IN_CLOSE_NOWRITE);
    }
    ~ReadWatch() { ::close(m_fd); }
    bool waitForRead() { return waitForReads(1); }
    // Waits until the file has been read and closed count times in all.
    bool waitForReads(int count)
    {
        while (m_reads < count) {
            pollfd ready {m_fd, POLLIN, 0};
            alignas(inotify_event) char events[4096];
            if (::poll(&ready, 1, 10000) != 1)
                return false;
            const ssize_t size = ::read(m_fd, events, sizeof events);
            if (size <= 0)
                return false;
            for (ssize_t offset = 0; offset < size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + offset);
                m_reads += (event->mask & IN_CLOSE_NOWRITE) != 0;
                offset += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
        return true;
    }

private:
    int m_fd;
    int m_reads = 0;
};

QStringList titles(const QList<VeskTask>& tasks)
{
    QStringList result;
    for (const VeskTask& task : tasks)
        result.append(task.title);
    return result;
}

// The list of the worked example, open, with its file's notifications and alerts at hand.
struct Fixture : OpenList {
    bool open() { return OpenList::open(initialText); }
    // Lets the file notifications of what just happened arrive and take effect, as the event loop
    // would, with the reads of the file they start.
    void settle()
    {
        deliverFileEvents();
        scheduler.advance(VeskDocumentController::fileMoveSettlingDelay + 1);
        controller.waitForWrites();
    }
    void advanceTo(double time)
    {
        scheduler.advance(time - scheduler.now());
        controller.waitForWrites();
    }
    // The check when the panel becomes key; it waits for a save that is running.
    void check()
    {
        controller.checkForExternalChanges();
        controller.waitForWrites();
    }
    void expectOneAlert(const QString& text, const QStringList& buttons)
    {
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(dialogs.alerts[0].message, fileProblem);
        QCOMPARE(dialogs.alerts[0].informativeText, text);
        QCOMPARE(dialogs.alerts[0].buttons, buttons);
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
        // Without a file nothing is saved or checked.
        f.addTask(QStringLiteral("loose"));
        f.check();
        QVERIFY(f.dialogs.alerts.isEmpty());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Choose a Vesk file to get started"));
    }

    void openingBindsAndAFailedOpenChangesNothing()
    {
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(f.controller.property("appStatus").toString(), QStringLiteral("Loaded list.vesk"));
        QCOMPARE(f.announcedURLs, QList<QUrl> {QUrl::fromLocalFile(f.path)});
        QCOMPARE(f.controller.documentColor(), documentColorForPath(f.path));
        QCOMPARE(f.session().committedDocument(), parseDocument(QString::fromUtf8(initialText)));

        const QString plain = f.folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(plain, "just\nlines\n");
        auto failure = f.controller.openDocument(QUrl::fromLocalFile(plain));
        QVERIFY(failure);
        QCOMPARE(describeFailure(*failure), notVeskMessage);
        failure
            = f.controller.openDocument(QUrl::fromLocalFile(f.folder.filePath(QStringLiteral("gone.vesk"))));
        QVERIFY(failure && std::get<FileSystemError>(*failure).isNoSuchFile());
        QCOMPARE(f.session().committedDocument(), parseDocument(QString::fromUtf8(initialText)));
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(f.path));
        QCOMPARE(readBytes(plain), QByteArray("just\nlines\n"));
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    void ownSaveAndItsNotificationEndInSyncWithoutReload()
    {
        Fixture f;
        QVERIFY(f.open());
        // Text of one, two, three and four bytes a character in UTF-8.
        f.addTask(QStringLiteral("Call the bank \u00E9 \u2615 \U0001F600"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QCOMPARE(readBytes(f.path), serializeDocument(f.session().committedDocument()).toUtf8());
        QVERIFY(readBytes(f.path).contains("Call the bank \xC3\xA9 \xE2\x98\x95 \xF0\x9F\x98\x80"));
        QCOMPARE(parseDocument(QString::fromUtf8(readBytes(f.path))), f.session().committedDocument());
        const QUuid firstTask = f.session().inboxItemIDs().constFirst();
        f.settle();
        f.check();
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        // Not reloaded: the items keep their ids.
        QCOMPARE(f.session().inboxItemIDs().constFirst(), firstTask);
        QVERIFY(f.dialogs.alerts.isEmpty());
        // The watch survives the save's replacement of the file.
        saveAsAnotherEditor(f.path, theirs);
        f.settle();
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
    }

    void externalChanges_data()
    {
        QTest::addColumn<QByteArray>("replacement"); // null: the file is deleted
        QTest::addColumn<bool>("editorOpen");
        QTest::addColumn<bool>("notified"); // the watcher reports the change before anything else
        QTest::addColumn<bool>("commit"); // a commit (true) or an activation check finds it
        QTest::addColumn<SyncState>("state");
        QTest::addColumn<QString>("alert"); // empty: reloaded without asking
        QTest::addColumn<QStringList>("buttons");
        const QString conflict = conflictMessage;
        const QString missing = "The backing file is no longer available.";
        QTest::newRow("reloaded") << QByteArray("Changed elsewhere\n---\nNew inbox\n---\n") << false << true
                                  << false << SyncState::inSync << QString() << QStringList();
        QTest::newRow("commit after change")
            << theirs << false << true << true << SyncState::externallyModifiedConflicted << conflict
            << recoveryButtons;
        QTest::newRow("open editor") << theirs << true << true << false
                                     << SyncState::externallyModifiedConflicted
                                     << QString(
                                            "This file changed outside Vesk. Reload from disk to discard "
                                            "Vesk’s current session, or save the current session to a new "
                                            "file.")
                                     << recoveryButtons;
        QTest::newRow("deleted") << QByteArray() << false << true << false << SyncState::unavailable
                                 << missing << problemButtons;
        QTest::newRow("deleted, found by save")
            << QByteArray() << false << false << true << SyncState::unavailable << missing << problemButtons;
        QTest::newRow("not a task file") << QByteArray("only one\n---\nseparator\n") << false << true << false
                                         << SyncState::unavailable << notVeskMessage << problemButtons;
        QTest::newRow("invalid UTF-8") << QByteArray("Caf\xe9\n---\n---\n") << false << false << false
                                       << SyncState::unavailable << unreadableMessage << problemButtons;
    }

    void externalChanges()
    {
        QFETCH(QByteArray, replacement);
        QFETCH(bool, editorOpen);
        QFETCH(bool, notified);
        QFETCH(bool, commit);
        QFETCH(SyncState, state);
        QFETCH(QString, alert);
        QFETCH(QStringList, buttons);
        Fixture f;
        QVERIFY(f.open());
        if (editorOpen) {
            f.session().setSelection(SessionSelection::task(f.session().workingItemIDs().constFirst()));
            f.session().beginEditingSelectedItem();
        }
        if (replacement.isNull())
            QVERIFY(QFile::remove(f.path));
        else
            saveAsAnotherEditor(f.path, replacement);
        if (notified) {
            f.settle();
            // A notification alone asks nothing: unsaved work is never thrown away unasked.
            QVERIFY(f.dialogs.alerts.isEmpty());
            QCOMPARE(f.controller.syncState() == SyncState::externallyModifiedReloadable, !editorOpen);
        }
        if (commit)
            f.addTask(QStringLiteral("Mine"));
        else
            f.check();
        QCOMPARE(f.controller.syncState(), state);
        if (alert.isEmpty()) {
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Changed elsewhere"});
            QVERIFY(f.dialogs.alerts.isEmpty());
            // Later saves build on the reloaded text.
            f.addTask(QStringLiteral("after reload"));
            QVERIFY(readBytes(f.path).startsWith("Changed elsewhere\n---\nafter reload\nNew inbox\n"));
            return;
        }
        if (commit)
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
        QVERIFY(f.session().editingBlocked());
        f.expectOneAlert(alert, buttons);
        QVERIFY(!f.controller.isPresentingRecoveryAlert());
        // Cancelled: nothing is written, the file is not brought back, and nothing asks again.
        f.session().setEditingBlocked(false);
        if (!editorOpen)
            f.addTask(QStringLiteral("Still mine"));
        f.check();
        QCOMPARE(QFile::exists(f.path), !replacement.isNull());
        if (!replacement.isNull())
            QCOMPARE(readBytes(f.path), replacement);
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.controller.syncState(), state);
    }

    // A long list is compared by its digest, not held: a change of one byte, which keeps the file's
    // length, is still never written over, and is reloaded when nothing would be lost.
    void aLongListChangedInPlaceKeepsTheChange_data()
    {
        QTest::addColumn<int>("fromEnd"); // where the byte is changed; -1: the first byte
        QTest::addColumn<bool>("commit"); // a commit (true) or an activation check finds it
        QTest::newRow("first byte, found by a save") << -1 << true;
        QTest::newRow("last title, found by a save") << 2 << true;
        QTest::newRow("last title, found by a check") << 2 << false;
    }

    void aLongListChangedInPlaceKeepsTheChange()
    {
        QFETCH(int, fromEnd);
        QFETCH(bool, commit);
        const QByteArray list = "Write report\n> " + QByteArray(ContentMark::keptBytesLimit + 200000, 'x')
            + "\n---\nBuy stamps\n---\nBook flights\n";
        Fixture f;
        QVERIFY(f.OpenList::open(list));
        QByteArray changed = list;
        changed[fromEnd < 0 ? 0 : changed.size() - fromEnd] = 'Z';
        saveAsAnotherEditor(f.path, changed);
        if (commit) {
            f.addTask(QStringLiteral("Mine"));
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(conflictMessage, recoveryButtons);
        } else {
            f.check();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().completedItems), QStringList {"Book flightZ"});
        }
        QCOMPARE(readBytes(f.path), changed);
    }

    void permissionProblems()
    {
        if (runAsUnprivilegedChild())
            return;
        struct Case {
            bool folder;
            mode_t mode;
            bool commit;
            const char* status;
            SyncState state;
            QString alert;
        };
        for (const Case& c : QList<Case> {{false, 0444, true, "Save failed", SyncState::unwritable,
                                              "You don’t have permission to save this file anymore."},
                 {false, 0200, false, "Loaded list.vesk", SyncState::unavailable, unreadableMessage},
                 // Saving rewrites the file itself, so a locked folder does not matter.
                 {true, 0555, true, "Saved list.vesk", SyncState::inSync, {}}}) {
            Fixture f;
            QVERIFY(f.open());
            QCOMPARE(::chmod(QFile::encodeName(c.folder ? f.folder.path() : f.path).constData(), c.mode), 0);
            if (c.commit)
                f.addTask(QStringLiteral("Mine"));
            else
                f.check();
            ::chmod(QFile::encodeName(f.folder.path()).constData(), 0755);
            ::chmod(QFile::encodeName(f.path).constData(), 0644);
            QCOMPARE(f.controller.appStatus(), QString::fromLatin1(c.status));
            QCOMPARE(f.controller.syncState(), c.state);
            if (c.alert.isEmpty()) {
                QVERIFY(f.dialogs.alerts.isEmpty());
                QVERIFY(readBytes(f.path).contains("Mine"));
            } else {
                f.expectOneAlert(c.alert, problemButtons);
                QVERIFY(f.session().editingBlocked());
                QCOMPARE(readBytes(f.path), initialText);
            }
        }
    }

    // A full disk fails the save with the file's old text whole; the session keeps the change, the
    // document stays saveable, and the next committed change saves both once there is room.
    void aFullDiskFailsOneSaveNotTheNextOne()
    {
        SmallTmpfs disk(4);
        SKIP_UNLESS_MOUNTED(disk);
        Fixture f;
        f.path = disk.filePath(QStringLiteral("list.vesk"));
        QVERIFY(f.open());
        // The list fills the disk's only page; its replacement needs a second one.
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
        f.expectOneAlert(
            QStringLiteral("The file “list.vesk” couldn’t be saved because there isn’t enough space."),
            problemButtons);
        QCOMPARE(readBytes(f.path), initialText);
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());

        QVERIFY(disk.resize(64));
        f.addTask(QStringLiteral("Second"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QVERIFY(readBytes(f.path).contains("---\nSecond\nMine\nBuy stamps\n"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
    }

    // Saves run on the writer's thread while the session goes on: changes committed meanwhile are
    // written together by the next save, in order, and every guard of the write path still holds.
    void savesRunOnTheWriter_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* scenario :
            {"quick commits", "changed before the write", "full disk", "full disk, long list",
                "touched between the check and the replacement", "shrinks to what a mark keeps", "quit",
                "close", "own echo, then another program", "own echo, then the same bytes again",
                "byte order mark", "long list undone and redone", "long list changed in place",
                "longer than a mark keeps, own echo", "longer than a mark keeps, changed before the echo"})
            QTest::newRow(scenario) << QString::fromLatin1(scenario);
    }

    void savesRunOnTheWriter()
    {
        QFETCH(QString, scenario);
        SmallTmpfs disk(4);
        Fixture f;
        if (scenario.startsWith(QLatin1String("full disk"))) {
            SKIP_UNLESS_MOUNTED(disk);
            f.path = disk.filePath(QStringLiteral("list.vesk"));
        }
        QVERIFY(f.open());
        const auto commit = [&](const QString& title) {
            f.session().beginCreatingNewItem(title);
            f.session().commitNewItem();
        };
        const auto sessionText = [&] { return serializeDocument(f.session().committedDocument()); };
        // What the document had written each time the writer finished a piece of work.
        QList<ContentMark> persisted;
        connect(f.controller.writer(), &DocumentWriter::finished, this,
            [&] { persisted.append(f.controller.lastPersistedContent().value_or(ContentMark())); });
        QSignalSpy finished(f.controller.writer(), &DocumentWriter::finished);
        const auto waitForWriter = [&] {
            while (f.controller.isWriting() && finished.wait(10000)) { }
            QVERIFY(!f.controller.isWriting());
        };

        if (scenario == QLatin1String("quick commits")) {
            commit(QStringLiteral("A"));
            const QString afterA = sessionText();
            commit(QStringLiteral("B"));
            commit(QStringLiteral("C"));
            waitForWriter();
            QCOMPARE(persisted,
                (QList<ContentMark> {
                    ContentMark::of(afterA.toUtf8()), ContentMark::of(sessionText().toUtf8())}));
            QCOMPARE(readBytes(f.path), sessionText().toUtf8());
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        } else if (scenario == QLatin1String("changed before the write")) {
            // Another Vesk writer holds the file's lock: the commit returns at once and its save waits.
            std::optional<DocumentWriteLock> otherWriter(std::in_place, f.path);
            commit(QStringLiteral("Mine"));
            QCOMPARE(readBytes(f.path), initialText);
            saveAsAnotherEditor(f.path, theirs);
            otherWriter.reset();
            waitForWriter();
            QCOMPARE(readBytes(f.path), theirs);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(conflictMessage, recoveryButtons);
            return;
        } else if (scenario == QLatin1String("full disk")) {
            commit(QStringLiteral("Mine"));
            commit(QStringLiteral("Second"));
            waitForWriter();
            QCOMPARE(readBytes(f.path), initialText);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
            f.expectOneAlert(
                QStringLiteral("The file “list.vesk” couldn’t be saved because there isn’t enough space."),
                problemButtons);
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            QVERIFY(f.controller.hasChangesOnlyInSession());
            QCOMPARE(titles(f.session().committedDocument().inboxItems).mid(0, 2),
                (QStringList {"Second", "Mine"}));
            return;
        } else if (scenario == QLatin1String("full disk, long list")) {
            // The new file is written in many pieces and the disk fills after some of them: the old
            // text stays whole, and nothing of the new file is left beside it.
            QByteArray list = "---\n";
            for (int i = 0; i < 30000; ++i)
                list += "Task " + QByteArray::number(i) + ' ' + QByteArray(24, 'x') + '\n';
            list += "---\n";
            QVERIFY(disk.resize(int(list.size() * 3 / 2 / 1024)));
            QVERIFY(f.OpenList::open(list));
            commit(QStringLiteral("Mine"));
            waitForWriter();
            QCOMPARE(readBytes(f.path), list);
            QCOMPARE(QDir(QFileInfo(f.path).path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Save failed"));
            f.expectOneAlert(
                QStringLiteral("The file “list.vesk” couldn’t be saved because there isn’t enough space."),
                problemButtons);
            return;
        } else if (scenario == QLatin1String("touched between the check and the replacement")) {
            // Another program writes the same text again once the save has checked the file: the
            // save checks again, finds what it expects, and marks only the text it wrote then, so
            // the report of its own replacement is no change.
            int named = 0;
            TemporaryFile::onNamed = [&](const QByteArray&) {
                if (named++ > 0)
                    return;
                const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
                QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(f.path).constData(), times, 0), 0);
            };
            const auto unhook = qScopeGuard([] { TemporaryFile::onNamed = nullptr; });
            commit(QStringLiteral("Mine"));
            waitForWriter();
            QCOMPARE(named, 2);
            QCOMPARE(readBytes(f.path), sessionText().toUtf8());
            QCOMPARE(persisted, QList<ContentMark> {ContentMark::of(readBytes(f.path))});
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
        } else if (scenario == QLatin1String("shrinks to what a mark keeps")) {
            // A list marked by its digest becomes short enough for its bytes to be the mark: the
            // save marks it so, as a read of the file does, and its own echo is no change.
            QByteArray list = "---\n";
            for (int i = 0; i < 3; ++i)
                list += "Big " + QByteArray::number(i) + ' '
                    + QByteArray(ContentMark::keptBytesLimit * 2 / 5, 'x') + '\n';
            QVERIFY(f.OpenList::open(list + "---\n"));
            f.session().setSelection(SessionSelection::task(f.session().inboxItemIDs().at(0)));
            f.session().deleteSelectedItem();
            waitForWriter();
            const QByteArray onDisk = readBytes(f.path);
            QVERIFY(onDisk.size() <= ContentMark::keptBytesLimit);
            QCOMPARE(persisted.last(), ContentMark::of(onDisk));
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
        } else if (scenario == QLatin1String("quit") || scenario == QLatin1String("close")) {
            // The second save waits for the first; neither is taken in before the document goes.
            commit(QStringLiteral("A"));
            commit(QStringLiteral("B"));
            QVERIFY(f.controller.isWriting());
            if (scenario == QLatin1String("quit"))
                QVERIFY(f.controller.prepareToClose());
            else
                f.controller.stopFileAccess();
            QCOMPARE(readBytes(f.path), sessionText().toUtf8());
            QVERIFY(!f.controller.isWriting());
        } else if (scenario == QLatin1String("long list undone and redone")) {
            // Thousands of tasks, several to a leaf of the session's map: each save writes every task
            // in its section's order.
            QByteArray list;
            for (int section = 0; section < 3; ++section) {
                for (int i = 0; i < 4000; ++i)
                    list += "Task " + QByteArray::number(section) + "." + QByteArray::number(i)
                        + (i % 7 == 0 ? "\n> note " + QByteArray::number(i) : QByteArray()) + "\n";
                list += section < 2 ? "---\n" : "";
            }
            QVERIFY(f.OpenList::open(list));
            const auto savedIsSession = [&] {
                waitForWriter();
                return readBytes(f.path) == sessionText().toUtf8();
            };
            f.session().setSelection(SessionSelection::task(f.session().inboxItemIDs().at(2500)));
            f.session().deleteSelectedItem();
            QVERIFY(savedIsSession());
            f.session().setSelection(SessionSelection::task(f.session().workingItemIDs().at(100)));
            f.session().beginEditingSelectedItem();
            f.session().updateInlineEditDraft(QStringLiteral("Edited\nwith a note"));
            f.session().commitInlineEdit();
            f.session().moveSelectedItem(1);
            QVERIFY(savedIsSession());
            for (int step = 0; step < 3; ++step) {
                f.session().undo();
                QVERIFY(savedIsSession());
            }
            QCOMPARE(readBytes(f.path), list.chopped(1));
            for (int step = 0; step < 3; ++step) {
                f.session().redo();
                QVERIFY(savedIsSession());
            }
        } else if (scenario == QLatin1String("long list changed in place")) {
            // Another program changes one byte far into a list of many read pieces, keeping its
            // length: the save's check finds it, and nothing is written over it.
            QByteArray list = "---\n";
            for (int i = 0; i < 30000; ++i)
                list += "Task " + QByteArray::number(i) + "\n";
            QVERIFY(f.OpenList::open(list + "---\n"));
            commit(QStringLiteral("Mine"));
            waitForWriter();
            QByteArray changed = readBytes(f.path);
            const qsizetype at = changed.indexOf("Task 25000");
            changed[at] = 't';
            QFile file(f.path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(at) && file.write("t") == 1);
            file.close();
            commit(QStringLiteral("Second"));
            waitForWriter();
            QCOMPARE(readBytes(f.path), changed);
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(conflictMessage, recoveryButtons);
            return;
        } else if (scenario.startsWith(QLatin1String("longer than a mark keeps"))) {
            // The report of the save's own replacement is checked against the bytes written; another
            // program's change of one byte in place, its length kept, is still a change.
            QByteArray list = "---\n";
            for (int i = 0; i < 9000; ++i)
                list += "Task " + QByteArray::number(i) + ' ' + QByteArray(1000, 'x') + '\n';
            QVERIFY(f.OpenList::open(list + "---\n"));
            commit(QStringLiteral("Mine"));
            waitForWriter();
            QByteArray onDisk = readBytes(f.path);
            QVERIFY(onDisk.size() > ContentMark::keptBytesLimit);
            const bool changed = scenario.endsWith(QLatin1String("changed before the echo"));
            if (changed) {
                const qsizetype at = onDisk.indexOf("Task 8999");
                onDisk[at] = 't';
                QFile file(f.path);
                QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(at) && file.write("t") == 1);
            }
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(),
                changed ? SyncState::externallyModifiedReloadable : SyncState::inSync);
            QCOMPARE(readBytes(f.path), onDisk);
        } else if (scenario == QLatin1String("byte order mark")) {
            // What later reads are compared with is the file's bytes, not its text written back.
            saveAsAnotherEditor(f.path, "\xEF\xBB\xBF" + initialText);
            QVERIFY(!f.controller.openDocument(QUrl::fromLocalFile(f.path)));
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            commit(QStringLiteral("Mine"));
            waitForWriter();
            QCOMPARE(readBytes(f.path), sessionText().toUtf8());
        } else {
            commit(QStringLiteral("Mine"));
            waitForWriter();
            // The report of the save's own replacement of the file changes nothing.
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            // Another program's write just after it is a change.
            QByteArray changed = readBytes(f.path);
            changed.replace("Mine", "Mind");
            writeBytes(f.path, changed);
            f.settle();
            waitForWriter();
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
        }
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    // The check when a panel becomes key reads the file on the writer's thread: the call returns at
    // once, and the answer is acted on when it comes in, as things stand then.
    void activationChecksRunOnTheWriter_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* scenario : {"changed elsewhere", "editor opened meanwhile", "committed meanwhile",
                 "committed meanwhile, file unchanged", "changed again meanwhile",
                 "activated again meanwhile", "changed again after it was read", "moved away meanwhile",
                 "another list opened meanwhile", "reloaded meanwhile", "quit meanwhile"})
            QTest::newRow(scenario) << QString::fromLatin1(scenario);
    }

    void activationChecksRunOnTheWriter()
    {
        QFETCH(QString, scenario);
        Fixture f;
        QVERIFY(f.open());
        const auto commit = [&](const QString& title) {
            f.session().beginCreatingNewItem(title);
            f.session().commitNewItem();
        };
        QSignalSpy finished(f.controller.writer(), &DocumentWriter::finished);
        const bool unchanged = scenario == QLatin1String("committed meanwhile, file unchanged")
            || scenario == QLatin1String("changed again meanwhile")
            || scenario == QLatin1String("activated again meanwhile");
        if (scenario == QLatin1String("moved away meanwhile"))
            QVERIFY(QFile::rename(f.path, f.folder.filePath(QStringLiteral("Renamed.vesk"))));
        else if (scenario == QLatin1String("another list opened meanwhile"))
            QVERIFY(QFile::remove(f.path));
        else if (!unchanged)
            saveAsAnotherEditor(f.path, theirs);

        // Set before the check starts, so that its read is not missed.
        std::optional<ReadWatch> readWatch;
        if (unchanged || scenario == QLatin1String("changed again after it was read"))
            readWatch.emplace(f.path);
        f.controller.checkForExternalChanges();
        // Nothing is decided before the answer is in.
        QVERIFY(f.controller.isWriting());
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded list.vesk"));

        if (scenario == QLatin1String("changed elsewhere")) {
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
        } else if (scenario == QLatin1String("editor opened meanwhile")) {
            f.session().setSelection(SessionSelection::task(f.session().workingItemIDs().constFirst()));
            f.session().beginEditingSelectedItem();
            f.session().updateInlineEditDraft(QStringLiteral("Half typed"));
            f.controller.waitForWrites();
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(VeskDocumentController::defaultRecoveryMessage(), recoveryButtons);
            QVERIFY(f.session().isTextEditingActive());
            QCOMPARE(readBytes(f.path), theirs);
            return;
        } else if (scenario == QLatin1String("committed meanwhile")) {
            // The save waits behind the check, whose answer makes it a conflict: the other program's
            // text stays on disk and the change stays in the session, for "Save to New File…".
            commit(QStringLiteral("Mine"));
            f.controller.waitForWrites();
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(VeskDocumentController::defaultRecoveryMessage(), recoveryButtons);
            QCOMPARE(readBytes(f.path), theirs);
            QCOMPARE(titles(f.session().committedDocument().inboxItems).constFirst(), QStringLiteral("Mine"));
            QVERIFY(f.controller.hasChangesOnlyInSession());
            return;
        } else if (scenario == QLatin1String("committed meanwhile, file unchanged")) {
            commit(QStringLiteral("Mine"));
            commit(QStringLiteral("Second"));
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
            QCOMPARE(readBytes(f.path), serializeDocument(f.session().committedDocument()).toUtf8());
            QVERIFY(readBytes(f.path).contains("Second\nMine\n"));
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
        } else if (scenario == QLatin1String("changed again meanwhile")) {
            // The check has read the file, and its answer will be "the same": the watcher's report of
            // the change that follows is looked at once the writer is done.
            QVERIFY(readWatch->waitForRead());
            saveAsAnotherEditor(f.path, theirs);
            f.settle();
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded list.vesk"));
            f.check();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        } else if (scenario == QLatin1String("activated again meanwhile")) {
            // However often the window is activated while a check runs, the file is read once more
            // after it: a change made after the running check read the file is found.
            f.controller.checkForExternalChanges();
            QVERIFY(readWatch->waitForRead());
            saveAsAnotherEditor(f.path, theirs);
            f.controller.checkForExternalChanges();
            f.controller.waitForWrites();
            QCOMPARE(finished.size(), 2);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        } else if (scenario == QLatin1String("changed again after it was read")) {
            // The writer has read the changed file twice (compared, then read as tasks) and parsed it;
            // the answer is not taken in yet. What it read is what is loaded, with that text's mark,
            // and the file is not read again here: the later change is found by the next check.
            QVERIFY(readWatch->waitForReads(2));
            saveAsAnotherEditor(f.path, "Later\n---\n---\n");
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            f.check();
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Later"});
            f.addTask(QStringLiteral("Mine"));
            QCOMPARE(readBytes(f.path), QByteArray("Later\n---\nMine\n---\n"));
        } else if (scenario == QLatin1String("moved away meanwhile")) {
            // The check found the path empty; the report of the move came before its answer, which is
            // left to the wait for where the file went.
            f.deliverFileEvents();
            f.scheduler.advance(FileWatcher::coalescingDelay);
            QVERIFY(f.controller.isWaitingForFileMove());
            f.controller.waitForWrites();
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            f.advanceTo(VeskDocumentController::fileMoveSettlingDelay + 1);
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Moved to Renamed.vesk"));
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            QVERIFY(!f.session().editingBlocked());
        } else if (scenario == QLatin1String("another list opened meanwhile")) {
            // The answer about the list that was deleted is never taken for one about the other.
            const QString other = f.folder.filePath(QStringLiteral("other.vesk"));
            writeBytes(other, theirs);
            QVERIFY(!f.controller.openDocument(QUrl::fromLocalFile(other)));
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded other.vesk"));
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            f.addTask(QStringLiteral("Mine"));
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved other.vesk"));
            QCOMPARE(readBytes(other), QByteArray("Theirs\n---\nMine\n---\n"));
            QVERIFY(!QFile::exists(f.path));
        } else if (scenario == QLatin1String("reloaded meanwhile")) {
            // The user reloads (from an earlier alert's choice) with a change committed meanwhile: the
            // check's answer is taken in first, and the reload then takes the other program's text.
            commit(QStringLiteral("Mine"));
            f.controller.reloadFromDisk();
            f.controller.waitForWrites();
            QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
            QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
            QCOMPARE(readBytes(f.path), theirs);
        } else if (scenario == QLatin1String("quit meanwhile")) {
            // Quitting waits for the answer: the change made meanwhile is asked about, not written
            // over the other program's text nor dropped unasked.
            commit(QStringLiteral("Mine"));
            QVERIFY(!f.controller.prepareToClose());
            QCOMPARE(f.dialogs.alerts.size(), 1);
            QCOMPARE(f.dialogs.alerts[0].message,
                QStringLiteral("Do you want to save the changes to “list.vesk” in a new file?"));
            QCOMPARE(readBytes(f.path), theirs);
            QVERIFY(f.controller.hasChangesOnlyInSession());
            return;
        }
        QVERIFY(f.dialogs.alerts.isEmpty());
        QVERIFY(!f.session().editingBlocked());
    }

    // A save that finds the file changed by another program while nothing is unsaved (here one asked
    // for by a commit that changed nothing the file holds) takes the other program's version and
    // writes it back. The file is read and parsed on the writer's thread, not while the save's answer
    // is taken in, and what the user did meanwhile decides as for any change a check finds.
    void aSaveThatFindsAChangeReadsItOnTheWriter_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char* scenario : {"nothing meanwhile", "committed meanwhile", "editor opened meanwhile",
                 "changed again meanwhile", "closed meanwhile", "reloaded from disk meanwhile"})
            QTest::newRow(scenario) << QString::fromLatin1(scenario);
    }

    void aSaveThatFindsAChangeReadsItOnTheWriter()
    {
        QFETCH(QString, scenario);
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, theirs);
        ReadWatch saveRead(f.path);
        f.controller.saveCommittedChange();
        // Once the save has begun (it has read the file), the writer is held up after it, freeing
        // something of its own, until the test lets it go on.
        QVERIFY(saveRead.waitForRead());
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        f.controller.writer()->dispose(std::shared_ptr<const int>(new int(0), [released](const int* garbage) {
            released.wait();
            delete garbage;
        }));
        // The save's answer is taken in: the session is as it was, and the file is to be read.
        f.controller.writer()->wait();
        QVERIFY(f.controller.isWriting());
        QCOMPARE(
            titles(f.session().committedDocument().workingItems), (QStringList {"Write report", "Pay rent"}));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        std::optional<ReadWatch> readWatch;
        if (scenario == QLatin1String("changed again meanwhile"))
            readWatch.emplace(f.path);
        release.set_value();
        QByteArray expected = theirs;
        if (scenario == QLatin1String("committed meanwhile")
            || scenario == QLatin1String("editor opened meanwhile")) {
            // Unsaved work now: a conflict, the other program's text kept and the work in the session.
            if (scenario == QLatin1String("committed meanwhile")) {
                f.session().beginCreatingNewItem(QStringLiteral("Mine"));
                f.session().commitNewItem();
            } else {
                f.session().setSelection(SessionSelection::task(f.session().workingItemIDs().constFirst()));
                f.session().beginEditingSelectedItem();
            }
            f.controller.waitForWrites();
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(VeskDocumentController::defaultRecoveryMessage(), recoveryButtons);
            QCOMPARE(readBytes(f.path), theirs);
            QCOMPARE(
                f.controller.hasChangesOnlyInSession(), scenario == QLatin1String("committed meanwhile"));
            return;
        }
        // The tasks a text holds: what is written back is the other program's tasks in Vesk's form.
        const auto tasksOf = [](const QByteArray& bytes) { return parseDocument(QString::fromUtf8(bytes)); };
        if (scenario == QLatin1String("changed again meanwhile")) {
            // Changed once more after the writer read it: the save that writes it back finds that,
            // and the latest text is read in turn, never written over.
            QVERIFY(readWatch->waitForReads(2));
            expected = "Later\n---\n---\n";
            saveAsAnotherEditor(f.path, expected);
        } else if (scenario == QLatin1String("closed meanwhile")) {
            f.controller.stopFileAccess();
            QCOMPARE(tasksOf(readBytes(f.path)), tasksOf(theirs));
            QVERIFY(f.dialogs.alerts.isEmpty());
            return;
        } else if (scenario == QLatin1String("reloaded from disk meanwhile")) {
            f.controller.reloadFromDisk();
        }
        f.controller.waitForWrites();
        QCOMPARE(tasksOf(readBytes(f.path)), tasksOf(expected));
        QCOMPARE(f.session().committedDocument(), tasksOf(expected));
        QCOMPARE(f.controller.appStatus(),
            scenario == QLatin1String("reloaded from disk meanwhile") ? QStringLiteral("Reloaded list.vesk")
                                                                      : QStringLiteral("Saved list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());
        QVERIFY(f.dialogs.alerts.isEmpty());
        f.addTask(QStringLiteral("After"));
        QCOMPARE(titles(tasksOf(readBytes(f.path)).workingItems), titles(tasksOf(expected).workingItems));
        QCOMPARE(titles(tasksOf(readBytes(f.path)).inboxItems), QStringList {"After"});
    }

    // The window's activation and its panel becoming key ask for the check together: asked again
    // while the check waits for the writer, before it has begun to read the file, it is that same
    // check, and a long file is read once. (Asked after the read began, it checks once more: see
    // "activated again meanwhile" above.)
    void askingAgainBeforeTheReadIsTheSameCheck()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, theirs);
        QSignalSpy finished(f.controller.writer(), &DocumentWriter::finished);
        // The writer is held up freeing something of its own, so the check waits for it.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        f.controller.writer()->dispose(std::shared_ptr<const int>(new int(0), [released](const int* garbage) {
            released.wait();
            delete garbage;
        }));
        f.controller.checkForExternalChanges();
        f.controller.checkForExternalChanges();
        release.set_value();
        f.controller.waitForWrites();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QVERIFY(!f.controller.isWriting());
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    // Closing the document while its check runs waits for the answer; nothing is written over the
    // other program's text, nor lost.
    void closingWhileACheckRuns()
    {
        for (const bool committed : {false, true}) {
            QTemporaryDir folder;
            ManualScheduler scheduler;
            ScriptedDialogPresenter dialogs;
            auto* controller = new VeskDocumentController(&dialogs, &scheduler);
            const QString path = folder.filePath(QStringLiteral("list.vesk"));
            writeBytes(path, initialText);
            QVERIFY(!controller->openDocument(QUrl::fromLocalFile(path)));
            saveAsAnotherEditor(path, theirs);
            controller->checkForExternalChanges();
            if (committed) {
                controller->sessionController()->beginCreatingNewItem(QStringLiteral("Mine"));
                controller->sessionController()->commitNewItem();
            }
            delete controller;
            QCOMPARE(readBytes(path), theirs);
            QVERIFY(dialogs.alerts.isEmpty());
        }
    }

    // What a save cannot keep is said in the status: here the group of a list that the user may
    // write but whose group is not one of the user's.
    void aSaveSaysWhatItCouldNotKeep()
    {
        std::unique_ptr<QTemporaryDir> shared;
        if (::geteuid() == 0) {
            shared = std::make_unique<QTemporaryDir>();
            const QString path = shared->filePath(QStringLiteral("list.vesk"));
            writeBytes(path, initialText);
            QCOMPARE(::chmod(QFile::encodeName(shared->path()).constData(), 0777), 0);
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 0), 0);
            qputenv("VESK_TEST_SHARED_LIST", QFile::encodeName(path));
        }
        if (runAsUnprivilegedChild())
            return;
        Fixture f;
        f.path = QFile::decodeName(qgetenv("VESK_TEST_SHARED_LIST"));
        QVERIFY(!f.path.isEmpty());
        QVERIFY(f.open());
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk (group not kept)"));
        QVERIFY(readBytes(f.path).contains("Mine"));
    }

    void recoveryByReloadingOrSavingToANewFile()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, theirs);
        f.dialogs.alertAnswers = {0};
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(!f.session().editingBlocked());
        QCOMPARE(titles(f.session().committedDocument().workingItems), QStringList {"Theirs"});
        QVERIFY(f.session().committedDocument().inboxItems.isEmpty());

        saveAsAnotherEditor(f.path, theirs + "x\n");
        const QString copy = f.folder.filePath(QStringLiteral("copy.vesk"));
        f.dialogs.alertAnswers = {1};
        f.dialogs.filesToSave = {copy};
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.dialogs.saveRequests.size(), 1);
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("list.vesk"));
        QCOMPARE(f.dialogs.saveRequests[0].nameFilters, QStringList {"Vesk files (*.vesk)"});
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved copy.vesk"));
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QCOMPARE(f.controller.documentColor(), documentColorForPath(copy));
        QVERIFY(readBytes(copy).contains("Mine"));
        QCOMPARE(readBytes(f.path), theirs + "x\n");
        // The new file is the one saved and watched from now on, and open edits go with it.
        f.session().beginCreatingNewItem(QStringLiteral("Half typed"));
        QCOMPARE(f.controller.fileObserver()->path(), copy);
        const QString second = f.folder.filePath(QStringLiteral("second.vesk"));
        f.dialogs.filesToSave = {second};
        f.controller.saveToNewFile();
        QVERIFY(readBytes(second).contains("Half typed"));
        f.controller.saveToNewFile(); // cancelled
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(second));
    }

    void renamesAndMovesAreFollowed()
    {
        Fixture f;
        QVERIFY(f.open());
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("archive")));
        QString previous = f.path;
        for (const QString& name :
            {QStringLiteral("Renamed List.vesk"), QStringLiteral("archive/Moved.vesk")}) {
            const QString target = f.folder.filePath(name);
            const QString file = QFileInfo(target).fileName();
            QVERIFY(QFile::rename(previous, target));
            f.settle();
            QCOMPARE(f.controller.appStatus(), "Moved to " + file);
            QCOMPARE(f.announcedURLs.constLast(), QUrl::fromLocalFile(target));
            QCOMPARE(f.controller.documentColor(), documentColorForPath(target));
            f.addTask("after " + name);
            QCOMPARE(f.controller.appStatus(), "Saved " + file);
            QVERIFY(readBytes(target).contains(("after " + name).toUtf8()));
            QVERIFY(!QFile::exists(previous));
            // The save renamed a new file over the list; the next rename follows at once, before
            // the save is reported.
            f.deliverFileEvents();
            previous = target;
        }
        f.settle();
        f.check();
        QCOMPARE(f.controller.syncState(), SyncState::inSync);
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    // Editors that keep a backup rename the list away and then write the new one under its name,
    // sometimes a good while later; only a path that stays empty means the file moved.
    void renamedAwayThenWrittenAnew_data()
    {
        QTest::addColumn<QString>("renamedTo");
        QTest::addColumn<double>("delay"); // until another program writes a new file there; <0: never
        QTest::addColumn<bool>("commitMeanwhile"); // a task committed before the new file is there
        // The application becomes active while the path is empty, and again when the new file is
        // there but not yet reported.
        QTest::addColumn<bool>("activations");
        const QString backup = QStringLiteral("list.vesk~");
        const QString renamed = QStringLiteral("Renamed.vesk");
        QTest::newRow("at once") << backup << 0.0 << false << false;
        QTest::newRow("50 ms") << backup << 0.05 << false << false;
        QTest::newRow("300 ms") << backup << 0.3 << false << false;
        QTest::newRow("1 s") << backup << 1.0 << false << false;
        QTest::newRow("1 s, activations") << backup << 1.0 << false << true;
        QTest::newRow("1 s, commit meanwhile") << backup << 1.0 << true << false;
        QTest::newRow("moved") << renamed << -1.0 << false << false;
        QTest::newRow("moved, commit meanwhile") << renamed << -1.0 << true << false;
    }

    void renamedAwayThenWrittenAnew()
    {
        QFETCH(QString, renamedTo);
        QFETCH(double, delay);
        QFETCH(bool, commitMeanwhile);
        QFETCH(bool, activations);
        Fixture f;
        QVERIFY(f.open());
        const QString renamed = f.folder.filePath(renamedTo);
        QVERIFY(QFile::rename(f.path, renamed));
        f.deliverFileEvents();
        if (commitMeanwhile) {
            f.advanceTo(0.2);
            f.addTask(QStringLiteral("Mine"));
            // Written neither into the renamed file nor as a new file in the other program's way.
            QCOMPARE(readBytes(renamed), initialText);
            QVERIFY(!QFile::exists(f.path));
        }
        if (activations) {
            f.advanceTo(0.5);
            f.check();
            QVERIFY(f.dialogs.alerts.isEmpty());
            QCOMPARE(f.controller.syncState(), SyncState::inSync);
        }
        if (delay >= 0) {
            f.advanceTo(delay);
            writeBytes(f.path, theirs);
            if (activations)
                f.check();
            f.deliverFileEvents();
        }
        f.advanceTo(VeskDocumentController::fileMoveSettlingDelay + 1);
        f.check();

        if (delay < 0) {
            QCOMPARE(f.controller.appStatus(), (commitMeanwhile ? "Saved " : "Moved to ") + renamedTo);
            QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(renamed));
            QCOMPARE(f.announcedURLs.constLast(), QUrl::fromLocalFile(renamed));
            QCOMPARE(readBytes(renamed).contains("Mine"), commitMeanwhile);
            QVERIFY(!QFile::exists(f.path));
            QVERIFY(f.dialogs.alerts.isEmpty());
            return;
        }
        // The document stayed at its path and the backup was left alone.
        QCOMPARE(f.controller.selectedFileURL(), QUrl::fromLocalFile(f.path));
        QCOMPARE(f.announcedURLs.size(), 1);
        QCOMPARE(readBytes(renamed), initialText);
        if (commitMeanwhile) {
            // The new file and the change made meanwhile conflict, as after any external change.
            QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedConflicted);
            f.expectOneAlert(conflictMessage, recoveryButtons);
            QCOMPARE(readBytes(f.path), theirs);
            return;
        }
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Reloaded list.vesk"));
        f.addTask(QStringLiteral("After"));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Saved list.vesk"));
        QCOMPARE(readBytes(f.path), QByteArray("Theirs\n---\nAfter\n---\n"));
        QCOMPARE(readBytes(renamed), initialText);
        QVERIFY(f.dialogs.alerts.isEmpty());
        // Still watched at its path.
        saveAsAnotherEditor(f.path, theirs);
        f.settle();
        QCOMPARE(f.controller.syncState(), SyncState::externallyModifiedReloadable);
    }

    void closingWhileAMoveIsUndecidedWritesWhereTheFileIsNow()
    {
        Fixture f;
        QVERIFY(f.open());
        const QString renamed = f.folder.filePath(QStringLiteral("Renamed.vesk"));
        QVERIFY(QFile::rename(f.path, renamed));
        f.deliverFileEvents();
        f.advanceTo(0.2);
        f.addTask(QStringLiteral("Mine"));
        QVERIFY(f.controller.prepareToClose());
        QVERIFY(readBytes(renamed).contains("Mine"));
        QVERIFY(f.dialogs.alerts.isEmpty());
    }

    void colourComesFromTheCaseInsensitivePath()
    {
        // Published FNV-1a test vectors.
        QCOMPARE(fnv1a64(""), 0xcbf29ce484222325ULL);
        QCOMPARE(fnv1a64("foobar"), 0x85944171f73967e8ULL);
        QCOMPARE(documentColorForPath(QStringLiteral("/home/u/Lists/Home.vesk")),
            documentColorPalette[fnv1a64("/home/u/lists/home.vesk") % 6]);
        // The same list under another spelling of its path keeps its colour.
        QCOMPARE(documentColorForPath(QStringLiteral("/Lists/CASE/./x/../Tasks.VESK")),
            documentColorForPath(QStringLiteral("/lists/case/tasks.vesk")));
        QSet<DocumentColor> seen;
        for (int i = 0; i < 200; ++i)
            seen.insert(documentColorForPath(QStringLiteral("/lists/%1.vesk").arg(i)));
        QCOMPARE(seen.size(), 6);
    }

    void secondExternalChangeWhileAnAlertIsOpenGivesNoSecondAlert()
    {
        Fixture f;
        QVERIFY(f.open());
        saveAsAnotherEditor(f.path, theirs);
        int round = 0;
        f.dialogs.whileAlertShows = [&] {
            // Events arriving in the alert's modal loop: a change, its notification, an activation, a commit.
            saveAsAnotherEditor(f.path, "Theirs again " + QByteArray::number(++round) + "\n---\n---\n");
            f.settle();
            f.controller.checkForExternalChanges();
            f.controller.saveCommittedChange();
            QVERIFY(f.controller.isPresentingRecoveryAlert());
        };
        f.addTask(QStringLiteral("Mine"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QCOMPARE(f.dialogs.mostAlertsOnScreen, 1);
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
        saveAsAnotherEditor(path, theirs);
        dialogs.alertAnswers = {0};
        dialogs.whileAlertShows = [&] { delete controller; };
        controller->sessionController()->beginCreatingNewItem(QStringLiteral("Mine"));
        controller->sessionController()->commitNewItem();
        controller->waitForWrites();
        QCOMPARE(dialogs.alerts.size(), 1);
        QCOMPARE(readBytes(path), theirs);
    }

    void creatingAndChoosingFiles()
    {
        Fixture f;
        f.controller.chooseAndCreateFile(); // cancelled
        QCOMPARE(f.dialogs.saveRequests.size(), 1);
        QCOMPARE(f.dialogs.saveRequests[0].proposedName, QStringLiteral("Vesk.vesk"));
        QVERIFY(!f.controller.hasSelectedFile());
        f.dialogs.filesToSave = {f.folder.filePath(QStringLiteral("missing folder/Vesk.vesk")),
            f.folder.filePath(QStringLiteral("Vesk.vesk"))};
        f.controller.chooseAndCreateFile();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Could not create file"));
        QCOMPARE(f.dialogs.alerts.size(), 1);
        QVERIFY(f.dialogs.alerts[0].buttons.isEmpty());
        f.controller.chooseAndCreateFile();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Created Vesk.vesk"));
        DocumentContents bundled;
        QVERIFY(!f.controller.documentService().makeNewFileContents(bundled));
        QCOMPARE(readBytes(f.folder.filePath(QStringLiteral("Vesk.vesk"))), bundled.text.toUtf8());
        QCOMPARE(f.session().committedDocument(), bundled.document);
        // A folder in the way: the failure is passed on and nothing changes.
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("blocked.vesk")));
        QVERIFY(f.controller.createDocument(
            QUrl::fromLocalFile(f.folder.filePath(QStringLiteral("blocked.vesk")))));
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Created Vesk.vesk"));

        // Opening a plain text file offers to import it; declining leaves it alone.
        const QString notes = f.folder.filePath(QStringLiteral("notes.txt"));
        writeBytes(notes, "milk\neggs\n");
        f.dialogs.filesToOpen = {notes, notes};
        f.dialogs.alertAnswers = {1, 0, 0};
        f.controller.chooseAndOpenFile();
        // The file is read on the writer's thread; the question comes once it has been.
        QVERIFY(f.controller.isOpening());
        QCOMPARE(f.dialogs.alerts.size(), 1);
        f.controller.waitForWrites();
        QCOMPARE(f.dialogs.openRequests.value(0), DocumentService::openFileFilters());
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Could not open file"));
        QCOMPARE(f.dialogs.alerts.size(), 3);
        QCOMPARE(f.dialogs.alerts[2].informativeText,
            QStringLiteral("The selected file was not imported into Vesk."));
        QCOMPARE(readBytes(notes), QByteArray("milk\neggs\n"));
        f.controller.chooseAndOpenFile();
        f.controller.waitForWrites();
        QCOMPARE(f.controller.appStatus(), QStringLiteral("Loaded notes.txt"));
        QCOMPARE(titles(f.session().committedDocument().inboxItems), (QStringList {"milk", "eggs"}));
        QCOMPARE(readBytes(notes), QByteArray("\n---\nmilk\neggs\n---\n"));
    }
};

QTEST_GUILESS_MAIN(DocumentControllerTest)
#include "DocumentControllerTest.moc"
