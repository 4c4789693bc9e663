#include "DocumentFormat.h"
#include "ManualScheduler.h"
#include "ScriptedDialogPresenter.h"
#include "SessionController.h"
#include "VeskDocumentController.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

class AppendRaceTest : public QObject {
    Q_OBJECT

private slots:
    // Another program appends lines while Vesk commits changes as fast as it can. Every appended line must
    // end up in the file or in the reloaded session: the conflict alert is answered with "Reload from Disk"
    // every time, as a user who wants the other program's lines would.
    void appendedLinesAreNeverLost()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("Start\n---\n---\n") > 0);
        file.close();
        ManualScheduler scheduler;
        ScriptedDialogPresenter dialogs;
        dialogs.unscriptedAnswer = 0;
        VeskDocumentController controller(&dialogs, &scheduler);
        SessionController& session = *controller.sessionController();
        QVERIFY(!controller.openDocument(QUrl::fromLocalFile(path)));

        // A line every 10 ms: far more often than any person edits, and close to the pace of the commits
        // below, so that saves and appends keep meeting.
        QProcess appender;
        appender.start(QStringLiteral(APPEND_LOOP_HELPER), {path, QStringLiteral("10000")});
        QVERIFY(appender.waitForReadyRead(10000));
        QCOMPARE(appender.readLine(), QByteArray("ready\n"));
        // At least 1,500 commits, and for at least three seconds so that the other process gets to
        // append a few hundred lines however busy the machine is.
        QElapsedTimer running;
        running.start();
        int commits = 0;
        int saved = 0;
        for (; commits < 1500 || (running.elapsed() < 3000 && commits < 100000); ++commits) {
            session.beginCreatingNewItem(QStringLiteral("vesk %1").arg(commits));
            session.commitNewItem();
            saved += controller.appStatus().startsWith(QStringLiteral("Saved ")) ? 1 : 0;
            if (controller.syncState() != SyncState::inSync) {
                // A failed reload (caught mid-append) is retried, as the user would.
                controller.reloadFromDisk();
                QCOMPARE(controller.syncState(), SyncState::inSync);
            }
        }
        ::kill(pid_t(appender.processId()), SIGTERM);
        QVERIFY(appender.waitForFinished(10000) && appender.exitCode() == 0);
        const long appended = appender.readAll().trimmed().toLong();

        controller.checkForExternalChanges();
        QVERIFY(file.open(QIODevice::ReadOnly));
        const VeskDocument onDisk = parseDocument(QString::fromUtf8(file.readAll())),
                           inSession = session.committedDocument();
        static const QRegularExpression pattern(QStringLiteral("^external (\\d+)$"));
        QSet<long> kept;
        for (const VeskDocument* document : {&inSession, &onDisk})
            for (const auto* section :
                {&document->workingItems, &document->inboxItems, &document->completedItems})
                for (const VeskTask& task : *section)
                    if (const auto match = pattern.match(task.title); match.hasMatch())
                        kept.insert(match.captured(1).toLong());
        long lost = 0;
        for (long line = 0; line < appended; ++line)
            lost += kept.contains(line) ? 0 : 1;
        const int conflicts = int(dialogs.alerts.size());
        qInfo("%d commits (%d saved, %d refused as conflicts and reloaded), %ld lines appended by the other "
              "process, %ld lost",
            commits, saved, conflicts, appended, lost);
        QVERIFY2(appended > 100, "the other process hardly ran: the test proves nothing");
        QVERIFY2(conflicts > 0, "no commit ever met an appended line: the test proves nothing");
        QCOMPARE(lost, 0L);
    }
};

QTEST_GUILESS_MAIN(AppendRaceTest)
#include "AppendRaceTest.moc"
