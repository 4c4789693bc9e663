#include "ManualScheduler.h"

#include <QObject>
#include <QTest>

class ManualSchedulerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runsJobsInDueOrderAsTimeAdvances()
    {
        ManualScheduler scheduler;
        QStringList ran;
        scheduler.schedule(0.4, nullptr, [&] { ran << "preview"; });
        scheduler.schedule(0.0, nullptr, [&] { ran << "next turn"; });
        scheduler.schedule(0.28, nullptr, [&] { ran << "move"; });
        scheduler.schedule(0.28, nullptr, [&] { ran << "second at same time"; });

        scheduler.advance(0.3);
        QCOMPARE(ran, QStringList({"next turn", "move", "second at same time"}));
        QCOMPARE(scheduler.now(), 0.3);
        scheduler.advance(0.1);
        QCOMPARE(ran.last(), QStringLiteral("preview"));
        QCOMPARE(scheduler.pendingCount(), 0);
    }

    void jobsScheduledByJobsRunWhenTheyFallDueWithinTheSameAdvance()
    {
        ManualScheduler scheduler;
        QList<double> times;
        scheduler.schedule(0.4, nullptr, [&] {
            times << scheduler.now();
            scheduler.schedule(0, nullptr, [&] { times << scheduler.now(); });
            scheduler.schedule(0.32, nullptr, [&] { times << scheduler.now(); });
        });
        scheduler.advance(0.5);
        QCOMPARE(times, QList<double>({0.4, 0.4}));
        scheduler.advance(0.3);
        QCOMPARE(times.size(), 3);
        QVERIFY(qFuzzyCompare(times.last(), 0.72));
    }

    void cancelledJobsAndJobsOfDestroyedContextsNeverRun()
    {
        ManualScheduler scheduler;
        int runs = 0;
        ScheduledJob cancelled = scheduler.schedule(0.1, nullptr, [&] { ++runs; });
        auto* context = new QObject;
        ScheduledJob orphaned = scheduler.schedule(0.1, context, [&] { ++runs; });
        QVERIFY(cancelled.isPending());
        cancelled.cancel();
        delete context;
        QVERIFY(!cancelled.isPending());
        QVERIFY(!orphaned.isPending() || scheduler.pendingCount() == 0);
        scheduler.advance(1);
        QCOMPARE(runs, 0);
        QCOMPARE(scheduler.nextDueTime(), -1.0);
    }

    void aJobThatRanIsNoLongerPending()
    {
        ManualScheduler scheduler;
        ScheduledJob job = scheduler.schedule(0.2, nullptr, [] {});
        scheduler.advance(0.19);
        QVERIFY(job.isPending());
        scheduler.advance(0.01);
        QVERIFY(!job.isPending());
    }
};

QTEST_GUILESS_MAIN(ManualSchedulerTest)
#include "ManualSchedulerTest.moc"
