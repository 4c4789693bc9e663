#include "ScriptedDialogPresenter.h"
#include "document/DocumentService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

#include <cstdio>

namespace {

// One of the two long texts that the saver writes in turn.
QByteArray crashTestText(char version)
{
    QByteArray text;
    for (int task = 0; task < 5000; ++task)
        text += "Task " + QByteArray::number(task) + " of version " + version
            + ", long enough to take a while to write\n";
    return text + "---\n---\n";
}

// The saver, in a child process of this program: saves the two texts alternately until killed.
int saveWithoutEnd(const QString& path)
{
    const QString texts[] = {QString::fromUtf8(crashTestText('A')), QString::fromUtf8(crashTestText('B'))};
    // Opening a list, as the application does before it saves one, removes what an earlier saver
    // left.
    DocumentService().removeStaleTemporaryFiles(path);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (unsigned round = 0;; ++round)
        if (auto error = DocumentService().writeContents(texts[round % 2], path)) {
            std::fprintf(stderr, "%s\n", qPrintable(error->description()));
            return 1;
        }
}

} // namespace

class DocumentCrashTest : public QObject {
    Q_OBJECT

private slots:
    // A process killed at any moment of a save leaves the old or the new text, complete, and at most
    // one temporary file, which the next open removes.
    void killedSavesLeaveACompleteFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        const QByteArray versions[] = {crashTestText('A'), crashTestText('B')};
        QRandomGenerator random(20261206);
        int killedWithLeftover = 0;
        QSet<QByteArray> seen;
        const int rounds = 300;
        for (int round = 0; round < rounds; ++round) {
            QProcess saver;
            saver.start(
                QCoreApplication::applicationFilePath(), {QStringLiteral("--save-without-end"), path});
            QVERIFY(saver.waitForStarted());
            QVERIFY(saver.waitForReadyRead(10000));
            QCOMPARE(saver.readLine(), QByteArray("ready\n"));
            // The kill lands at a random moment of the save loop, which runs a few saves in this time.
            QElapsedTimer moment;
            moment.start();
            const qint64 killAfter = random.bounded(20000);
            while (moment.nsecsElapsed() / 1000 < killAfter) { }
            ::kill(pid_t(saver.processId()), SIGKILL);
            QVERIFY(saver.waitForFinished(10000));
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

            if (!QFile::exists(path))
                continue; // killed before the first save finished: no file yet, which is whole too
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray onDisk = file.readAll();
            QVERIFY2(onDisk == versions[0] || onDisk == versions[1],
                qPrintable(QStringLiteral("round %1: %2 bytes of mixed or partial text")
                               .arg(round)
                               .arg(onDisk.size())));
            seen.insert(onDisk);
            const QStringList leftovers
                = QDir(folder.path()).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
            QVERIFY2(leftovers.size() <= 1, qPrintable(leftovers.join(u' ')));
            killedWithLeftover += int(leftovers.size());
        }
        qInfo("%d of %d kills interrupted a save and left its temporary file", killedWithLeftover, rounds);
        // The saver does nothing but save, so kills at moments spread over several saves (seen in both
        // texts having been left) interrupt saves at all their steps. Most leave no temporary file at
        // all: it has a name only in the short time between being linked in and being renamed.
        QVERIFY2(seen.size() == 2, "every kill left the same text: the kills did not spread over saves");

        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!DocumentService().readDocument(path, dialogs.alertCallback(), contents));
        QVERIFY(dialogs.alerts.isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList {QStringLiteral("list.vesk")});
    }
};

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-without-end") == 0)
        return saveWithoutEnd(QString::fromLocal8Bit(argv[2]));
    DocumentCrashTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "DocumentCrashTest.moc"
