#include "FileWatcher.h"
#include "ManualScheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>

namespace {

void writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Another editor's save: a new file renamed over the old one.
void replaceByRename(const QString& path, const QByteArray& bytes)
{
    const QString temporary = path + QStringLiteral(".new");
    writeFile(temporary, bytes);
    QCOMPARE(std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()), 0);
}

void renameFile(const QString& from, const QString& to)
{
    QCOMPARE(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()), 0);
}

} // namespace

class FileWatcherTest : public QObject {
    Q_OBJECT

    struct Watch {
        ManualScheduler scheduler;
        FileWatcher watcher;
        int changes = 0;
        QStringList moves;

        explicit Watch(const QString& path) : watcher(path, &scheduler)
        {
            watcher.onDidChange = [this] { ++changes; };
            watcher.onDidMove = [this](const QString& to) { moves.append(to); };
        }

        // Lets the kernel's queued notifications through and the coalescing delay pass.
        void settle()
        {
            watcher.processPendingEvents();
            scheduler.advance(FileWatcher::coalescingDelay);
        }
    };

private slots:
    void burstOfWritesIsOneChange()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);
        watch.settle();
        QCOMPARE(watch.changes, 0);
        for (int line = 0; line < 5; ++line)
            writeFile(path, "more\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 1);
        QVERIFY(watch.moves.isEmpty());
        watch.settle();
        QCOMPARE(watch.changes, 1);
    }

    void keepsWatchingAfterTheFileIsReplacedByRename()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);
        for (int save = 1; save <= 3; ++save) {
            replaceByRename(path, "saved by another editor\n");
            watch.settle();
            QCOMPARE(watch.changes, 2 * save - 1);
            // The file now carrying the name is the one watched.
            writeFile(path, "appended\n", QIODevice::Append);
            watch.settle();
            QCOMPARE(watch.changes, 2 * save);
        }
        QVERIFY(watch.moves.isEmpty());
        QCOMPARE(watch.watcher.path(), path);
    }

    void deletionAndRecreationAreChanges()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);
        QVERIFY(QFile::remove(path));
        watch.settle();
        QCOMPARE(watch.changes, 1);
        writeFile(path, "back\n");
        watch.settle();
        QCOMPARE(watch.changes, 2);
        writeFile(path, "again\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 3);
        QVERIFY(watch.moves.isEmpty());
    }

    void followsRenamesAndMoves()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("elsewhere")));
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        const QString renamed = folder.filePath(QStringLiteral("renamed.vesk"));
        const QString moved = folder.filePath(QStringLiteral("elsewhere/moved.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);

        renameFile(path, renamed);
        watch.settle();
        QCOMPARE(watch.moves, QStringList {renamed});
        QCOMPARE(watch.watcher.path(), renamed);
        renameFile(renamed, moved);
        watch.settle();
        QCOMPARE(watch.moves, (QStringList {renamed, moved}));
        QCOMPARE(watch.watcher.path(), moved);
        QCOMPARE(watch.changes, 0);

        // Changes and replacements at the new place are still seen.
        writeFile(moved, "b\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 1);
        replaceByRename(moved, "c\n");
        watch.settle();
        QCOMPARE(watch.changes, 2);
        // Nothing happening in the old folder concerns it any more.
        writeFile(path, "a stranger with the old name\n");
        watch.settle();
        QCOMPARE(watch.changes, 2);
    }

    void followsItsFolderBeingRenamed()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("lists")));
        const QString path = folder.filePath(QStringLiteral("lists/list.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);
        renameFile(folder.filePath(QStringLiteral("lists")), folder.filePath(QStringLiteral("archive")));
        watch.settle();
        QCOMPARE(watch.moves, QStringList {folder.filePath(QStringLiteral("archive/list.vesk"))});
    }

    // Editors that keep a backup rename the original away and write a new file under its name: the
    // document stays at its name.
    void backupRenameThenNewFileIsAChangeNotAMove()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeFile(path, "a\n");
        Watch watch(path);
        renameFile(path, path + QStringLiteral("~"));
        writeFile(path, "edited\n");
        watch.settle();
        QVERIFY(watch.moves.isEmpty());
        QCOMPARE(watch.changes, 1);
        QCOMPARE(watch.watcher.path(), path);
        writeFile(path, "more\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 2);
    }

    void watchesTheTargetOfASymbolicLink()
    {
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("real")));
        const QString target = folder.filePath(QStringLiteral("real/list.vesk"));
        const QString link = folder.filePath(QStringLiteral("link.vesk"));
        writeFile(target, "a\n");
        QVERIFY(QFile::link(target, link));
        Watch watch(link);
        writeFile(target, "b\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 1);
        // Replaced in the target's folder, which is not the folder watched.
        replaceByRename(target, "c\n");
        watch.settle();
        QCOMPARE(watch.changes, 2);
        writeFile(target, "d\n", QIODevice::Append);
        watch.settle();
        QCOMPARE(watch.changes, 3);
        QVERIFY(watch.moves.isEmpty());
        QCOMPARE(watch.watcher.path(), link);
    }

    void reportsArriveThroughTheEventLoopOnTheMainThread()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeFile(path, "a\n");
        FileWatcher watcher(path);
        int changes = 0;
        bool onMainThread = false;
        watcher.onDidChange = [&] {
            ++changes;
            onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        };
        replaceByRename(path, "b\n");
        QTRY_COMPARE(changes, 1);
        QVERIFY(onMainThread);
    }
};

QTEST_GUILESS_MAIN(FileWatcherTest)
#include "FileWatcherTest.moc"
