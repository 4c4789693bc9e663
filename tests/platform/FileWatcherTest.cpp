#include "platform/FileWatcher.h"
#include "platform/ManualScheduler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(bytes), bytes.size());
}

void appendLine(const QString& path)
{
    writeFile(path, "more\n", QIODevice::Append);
}

void renameFile(const QString& from, const QString& to)
{
    QCOMPARE(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()), 0);
}

// Another editor's save: a new file renamed over the old one.
void replaceByRename(const QString& path)
{
    writeFile(path + QStringLiteral(".new"), "saved by another editor\n");
    renameFile(path + QStringLiteral(".new"), path);
}

} // namespace

class FileWatcherTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    ManualScheduler m_scheduler;
    std::unique_ptr<FileWatcher> m_watcher;
    int m_changes = 0;
    QStringList m_moves;

    QString file(const QString& name) const { return m_folder->filePath(name); }

    void watch(const QString& path)
    {
        m_watcher = std::make_unique<FileWatcher>(path, &m_scheduler);
        m_watcher->onDidChange = [this] { ++m_changes; };
        m_watcher->onDidMove = [this](const QString& to) { m_moves.append(to); };
    }

    // Lets the kernel's queued notifications through and the coalescing delay pass.
    int changesAfterSettling()
    {
        m_watcher->processPendingEvents();
        m_scheduler.advance(FileWatcher::coalescingDelay);
        return m_changes;
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        m_path = file(QStringLiteral("list.vesk"));
        writeFile(m_path, "a\n");
        m_changes = 0;
        m_moves.clear();
    }

    void cleanup() { m_watcher.reset(); }

    void burstOfWritesIsOneChange()
    {
        watch(m_path);
        QCOMPARE(changesAfterSettling(), 0);
        for (int line = 0; line < 5; ++line)
            appendLine(m_path);
        QCOMPARE(changesAfterSettling(), 1);
        QCOMPARE(changesAfterSettling(), 1);
        QVERIFY(m_moves.isEmpty());
    }

    // Replacing by rename, deleting and recreating are all changes of the file at this name, and
    // the file then carrying the name is the one watched.
    void keepsWatchingTheNameAcrossReplacementsAndDeletion()
    {
        watch(m_path);
        // The hold on each replaced file is handed over to be closed elsewhere, still open.
        std::vector<int> handedOver;
        m_watcher->closeHeldFile = [&handedOver](int fd) { handedOver.push_back(fd); };
        for (int save = 1; save <= 3; ++save) {
            struct stat before { };
            QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &before), 0);
            replaceByRename(m_path);
            QCOMPARE(changesAfterSettling(), 2 * save - 1);
            QCOMPARE(handedOver.size(), std::size_t(save));
            struct stat held { };
            QCOMPARE(::fstat(handedOver.back(), &held), 0);
            QCOMPARE(held.st_ino, before.st_ino);
            QCOMPARE(held.st_nlink, nlink_t(0));
            ::close(handedOver.back());
            appendLine(m_path);
            QCOMPARE(changesAfterSettling(), 2 * save);
        }
        m_watcher->closeHeldFile = nullptr;
        QVERIFY(QFile::remove(m_path));
        QCOMPARE(changesAfterSettling(), 7);
        writeFile(m_path, "back\n");
        QCOMPARE(changesAfterSettling(), 8);
        appendLine(m_path);
        QCOMPARE(changesAfterSettling(), 9);
        // Editors that keep a backup rename the original away and write a new file under its name.
        renameFile(m_path, m_path + QStringLiteral("~"));
        writeFile(m_path, "edited\n");
        QCOMPARE(changesAfterSettling(), 10);
        appendLine(m_path);
        QCOMPARE(changesAfterSettling(), 11);
        QVERIFY(m_moves.isEmpty());
        QCOMPARE(m_watcher->path(), m_path);
    }

    void followsRenamesAndMoves()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("elsewhere")));
        const QString renamed = file(QStringLiteral("renamed.vesk"));
        const QString moved = file(QStringLiteral("elsewhere/moved.vesk"));
        watch(m_path);
        renameFile(m_path, renamed);
        QCOMPARE(changesAfterSettling(), 0);
        QCOMPARE(m_moves, QStringList {renamed});
        QCOMPARE(m_watcher->path(), renamed);
        renameFile(renamed, moved);
        QCOMPARE(changesAfterSettling(), 0);
        QCOMPARE(m_moves, (QStringList {renamed, moved}));
        QCOMPARE(m_watcher->path(), moved);

        // Changes and replacements at the new place are still seen.
        appendLine(moved);
        QCOMPARE(changesAfterSettling(), 1);
        replaceByRename(moved);
        QCOMPARE(changesAfterSettling(), 2);
        // Nothing happening in the old folder concerns it any more.
        writeFile(m_path, "a stranger with the old name\n");
        QCOMPARE(changesAfterSettling(), 2);
    }

    // A file that has just taken the name, as in a save by rename, is followed when it is renamed
    // before the report; "deliver" is the event loop taking in what happened so far.
    void followsAFileThatJustTookTheName_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("movedTo"); // empty: a change of the file at the name
        const QString renamed = QStringLiteral("renamed.vesk");
        QTest::newRow("replaced by rename, then at once renamed")
            << QStringList {"replace", "deliver", "rename renamed.vesk"} << renamed;
        QTest::newRow("replaced by rename and renamed in one burst")
            << QStringList {"replace", "rename renamed.vesk"} << renamed;
        QTest::newRow("replaced by rename, then at once moved") << QStringList {
            "replace", "deliver", "rename elsewhere/moved.vesk"} << QStringLiteral("elsewhere/moved.vesk");
        QTest::newRow("created again, then at once renamed")
            << QStringList {"delete", "create", "deliver", "rename renamed.vesk"} << renamed;
        QTest::newRow("replaced by rename, renamed, and the name taken again")
            << QStringList {"replace", "rename renamed.vesk", "create"} << QString();
    }

    void followsAFileThatJustTookTheName()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, movedTo);
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("elsewhere")));
        watch(m_path);
        for (const QString& step : steps) {
            if (step == "replace")
                replaceByRename(m_path);
            else if (step == "deliver")
                m_watcher->processPendingEvents();
            else if (step == "delete")
                QVERIFY(QFile::remove(m_path));
            else if (step == "create")
                writeFile(m_path, "new\n");
            else
                renameFile(m_path, file(step.section(' ', 1)));
        }
        const QString watched = movedTo.isEmpty() ? m_path : file(movedTo);
        QCOMPARE(changesAfterSettling(), movedTo.isEmpty() ? 1 : 0);
        QCOMPARE(m_moves, movedTo.isEmpty() ? QStringList() : QStringList {watched});
        QCOMPARE(m_watcher->path(), watched);
        // The file now watched is the one found there.
        const int changes = m_changes;
        appendLine(watched);
        QCOMPARE(changesAfterSettling(), changes + 1);
    }

    void followsItsFolderBeingRenamed()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("lists")));
        writeFile(file(QStringLiteral("lists/list.vesk")), "a\n");
        watch(file(QStringLiteral("lists/list.vesk")));
        renameFile(file(QStringLiteral("lists")), file(QStringLiteral("archive")));
        changesAfterSettling();
        QCOMPARE(m_moves, QStringList {file(QStringLiteral("archive/list.vesk"))});
    }

    void watchesTheTargetOfASymbolicLink()
    {
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("real")));
        const QString target = file(QStringLiteral("real/list.vesk"));
        const QString link = file(QStringLiteral("link.vesk"));
        renameFile(m_path, target);
        QVERIFY(QFile::link(target, link));
        watch(link);
        appendLine(target);
        QCOMPARE(changesAfterSettling(), 1);
        // Replaced in the target's folder, which is not the folder of the link.
        replaceByRename(target);
        QCOMPARE(changesAfterSettling(), 2);
        appendLine(target);
        QCOMPARE(changesAfterSettling(), 3);
        QVERIFY(m_moves.isEmpty());
        QCOMPARE(m_watcher->path(), link);
    }

    void reportsArriveThroughTheEventLoopOnTheMainThread()
    {
        FileWatcher watcher(m_path);
        int changes = 0;
        bool onMainThread = false;
        watcher.onDidChange = [&] {
            ++changes;
            onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        };
        replaceByRename(m_path);
        QTRY_COMPARE(changes, 1);
        QVERIFY(onMainThread);
    }
};

QTEST_GUILESS_MAIN(FileWatcherTest)
#include "FileWatcherTest.moc"
