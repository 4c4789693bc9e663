#include "CrashTestText.h"
#include "DocumentService.h"
#include "ScriptedDialogPresenter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

class DocumentCrashTest : public QObject {
    Q_OBJECT

private slots:
    // A process killed at any moment of a save leaves the old or the new text, complete, and at most
    // one temporary file, which the next save or open removes.
    void killedSavesLeaveACompleteFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        const QByteArray versions[] = {crashTestText('A').toUtf8(), crashTestText('B').toUtf8()};
        QRandomGenerator random(20261206);
        int killedWithLeftover = 0;
        const int rounds = 300;
        for (int round = 0; round < rounds; ++round) {
            QProcess saver;
            saver.start(QStringLiteral(SAVE_LOOP_HELPER), {path});
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
            const QStringList leftovers
                = QDir(folder.path()).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden);
            QVERIFY2(leftovers.size() <= 1, qPrintable(leftovers.join(u' ')));
            killedWithLeftover += int(leftovers.size());
        }
        qInfo("%d of %d kills interrupted a save and left its temporary file", killedWithLeftover, rounds);
        QVERIFY2(killedWithLeftover > 0, "no kill ever landed inside a save: the test proves nothing");

        ScriptedDialogPresenter dialogs;
        DocumentContents contents;
        QVERIFY(!DocumentService().readDocument(path, dialogs, contents));
        QVERIFY(dialogs.alerts.isEmpty());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList {QStringLiteral("list.vesk")});
    }
};

QTEST_GUILESS_MAIN(DocumentCrashTest)
#include "DocumentCrashTest.moc"
