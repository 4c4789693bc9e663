#include "panel/TaskRowTable.h"
#include "session/ItemIdGenerator.h"
#include "session/SessionItemMap.h"

#include <QTest>

#include <cstring>

// The table of where each task's row is, made once for a list of any length: every task is found at
// its row, whatever ids share its slot and tag, and whether or not the rows lie in the order their
// ids were made for.
class TaskRowTableTest : public QObject {
    Q_OBJECT

    static RenderedRow task(const QUuid& id) { return RenderedRow::task(id, TaskSection::inbox, false); }

    // An id whose bits, folded to 64, are those of id: the table mixes the folded bits, so both land
    // in the same slot with the same tag.
    static QUuid collidingWith(const QUuid& id, quint64 difference)
    {
        QUuid other = id;
        other.data1 ^= quint32(difference >> 32);
        other.data2 ^= quint16(difference >> 16);
        other.data3 ^= quint16(difference);
        quint64 tail;
        std::memcpy(&tail, other.data4, sizeof tail);
        tail ^= difference;
        std::memcpy(other.data4, &tail, sizeof tail);
        return other;
    }

    // Every task row of rows found at its place through table.
    static void verifyEveryTaskFound(const TaskRowTable& table, const ChunkedList<RenderedRow>& rows)
    {
        for (qsizetype at = 0; at < rows.size(); ++at) {
            if (rows[at].kind != RenderedRow::Kind::task)
                continue;
            const QUuid id = rows[at].itemID;
            const qsizetype found = table.find(id, [&](qsizetype row) { return rows[row].itemID == id; });
            QVERIFY2(found == at, qPrintable(QString("row %1 found at %2").arg(at).arg(found)));
        }
    }

private slots:
    void tasksWhoseIdsCollideAreEachFoundAtTheirRow()
    {
        // Groups of four tasks in one slot with one tag, among tasks with ids of their own.
        QList<QUuid> ids;
        for (int group = 0; group < 200; ++group) {
            const QUuid first = QUuid::createUuid();
            ids << first << QUuid::createUuid();
            for (quint64 difference : {0x1234567890ABCDEFull, 0x0F0F0F0F00000001ull, 0x8000000000000000ull})
                ids << collidingWith(first, difference);
        }
        ChunkedList<RenderedRow> rows;
        for (const QUuid& id : ids)
            rows.append(task(id));
        rows.append(RenderedRow::separator(TaskSection::inbox));
        TaskRowTable table;
        table.build(rows);
        verifyEveryTaskFound(table, rows);

        // A task that shares the slot and tag of one listed, but has no row, is not found.
        const QUuid absent = collidingWith(ids.first(), 0x00000000FFFF0000ull);
        QCOMPARE(
            table.find(absent, [&](qsizetype row) { return rows[row].itemID == absent; }), qsizetype(-1));
    }

    void rowsOfAListLoadedAtOnceAreFoundWithoutATableOfTheirOwn()
    {
        // Ids made for a list in its order, the sections' rows between separators and a spacer, the
        // rows shared with the list they came from, as a loaded list's rows are.
        ItemIdGenerator random;
        const qsizetype total = 3000;
        const QList<QUuid> ids = SessionItemMap::orderedIDs(0, total, total, random);
        QList<RenderedRow> list;
        for (qsizetype i = 0; i < total; ++i) {
            if (i == 1000)
                list << RenderedRow::separator(TaskSection::working);
            if (i == 2200)
                list << RenderedRow::separator(TaskSection::inbox)
                     << RenderedRow::spacer(TaskSection::completed, 12);
            list << task(ids[i]);
        }
        ChunkedList<RenderedRow> rows;
        rows.share(list, 0, list.size());
        TaskRowTable table;
        table.build(rows);
        verifyEveryTaskFound(table, rows);
        // A row that is no longer there (the owner's check says no) is not found elsewhere.
        QCOMPARE(table.find(ids[1500], [](qsizetype) { return false; }), qsizetype(-1));
        const QUuid absent = QUuid::createUuid();
        QCOMPARE(
            table.find(absent, [&](qsizetype row) { return rows[row].itemID == absent; }), qsizetype(-1));

        // The same rows out of that order (a few moved from the end to the front), or copied rather
        // than shared: every task is found all the same.
        QList<RenderedRow> moved = list.mid(list.size() - 3) + list.mid(0, list.size() - 3);
        ChunkedList<RenderedRow> movedRows;
        movedRows.share(moved, 0, moved.size());
        table.build(movedRows);
        verifyEveryTaskFound(table, movedRows);
        ChunkedList<RenderedRow> copied;
        copied.assign(list);
        table.build(copied);
        verifyEveryTaskFound(table, copied);
    }
};

QTEST_MAIN(TaskRowTableTest)
#include "TaskRowTableTest.moc"
