#include "platform/ManualScheduler.h"

#include <QObject>
#include <QTest>

class ManualSchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Due jobs run in time order, those due at the same time in the order scheduled, and jobs
    // scheduled by jobs run when they fall due within the same advance.
    void runsJobsInDueOrderAsTimeAdvances()
    {
        ManualScheduler scheduler;
        QStringList ran;
        const auto record = [&](const QString& name) {
            return [&, name] { ran << QStringLiteral("%1@%2").arg(name).arg(scheduler.now()); };
        };
        ScheduledJob last = scheduler.schedule(0.4, nullptr, [&] {
            record("last")();
            scheduler.schedule(0, nullptr, record("next turn"));
            scheduler.schedule(0.32, nullptr, record("later"));
        });
        scheduler.schedule(0.0, nullptr, record("first"));
        scheduler.schedule(0.28, nullptr, record("move"));
        scheduler.schedule(0.28, nullptr, record("same time"));

        scheduler.advance(0.3);
        QCOMPARE(ran, QStringList({"first@0", "move@0.28", "same time@0.28"}));
        QCOMPARE(scheduler.now(), 0.3);
        scheduler.advance(0.09);
        QVERIFY(last.isPending());
        scheduler.advance(0.11);
        QVERIFY(!last.isPending());
        QCOMPARE(ran.mid(3), QStringList({"last@0.4", "next turn@0.4"}));
        scheduler.advance(0.3);
        QCOMPARE(ran.mid(5), QStringList({"later@0.72"}));
        QCOMPARE(scheduler.pendingCount(), 0);
    }

    void cancelledJobsAndJobsOfDestroyedContextsNeverRun()
    {
        ManualScheduler scheduler;
        int runs = 0;
        ScheduledJob cancelled = scheduler.schedule(0.1, nullptr, [&] { ++runs; });
        auto* context = new QObject;
        scheduler.schedule(0.1, context, [&] { ++runs; });
        cancelled.cancel();
        delete context;
        QVERIFY(!cancelled.isPending());
        scheduler.advance(1);
        QCOMPARE(runs, 0);
        QCOMPARE(scheduler.nextDueTime(), -1.0);
    }
};

QTEST_GUILESS_MAIN(ManualSchedulerTest)
#include "ManualSchedulerTest.moc"
