#include "session/SessionItemMap.h"

#include "session/ItemIdGenerator.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <random>

namespace {

using Reference = QHash<QUuid, SessionItem>;

SessionItem makeItem(const QUuid& id, int n)
{
    return SessionItem {id, QStringLiteral("Task %1").arg(n),
        n % 3 == 0 ? std::optional<QString>(QStringLiteral("Note %1").arg(n)) : std::nullopt};
}

// Whether map holds exactly what reference holds, through every way of reading it.
bool sameContent(const SessionItemMap& map, const Reference& reference)
{
    if (map.size() != reference.size() || map.isEmpty() != reference.isEmpty())
        return false;
    QSet<QUuid> seen;
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (seen.contains(it.key()) || reference.value(it.key()) != it.value() || !map.contains(it.key()))
            return false;
        seen.insert(it.key());
    }
    for (auto it = reference.cbegin(); it != reference.cend(); ++it)
        if (map.value(it.key()) != it.value() || map.constFind(it.key()).value() != it.value())
            return false;
    // All keys at once, in the reference's order, with one the map lacks among them.
    QList<QUuid> keys = reference.keys();
    keys.insert(keys.size() / 2, QUuid::createUuid());
    const std::vector<const SessionItem*> found = map.pointersTo(keys);
    if (found.size() != std::size_t(keys.size()))
        return false;
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (found[i] != map.pointerTo(keys.at(i)))
            return false;
    return seen.size() == reference.size();
}

} // namespace

class SessionItemMapTest : public QObject {
    Q_OBJECT

private slots:
    void snapshotsStayIntactThroughRandomChanges();
    void equalityComparesValues();
    void bulkBuiltMapEqualsInsertedOne_data();
    void bulkBuiltMapEqualsInsertedOne();
    void aStoppedBuildGivesUpAndHoldsNothing();
    void loadedIdsLieInTheMapInTheListsOrder_data();
    void loadedIdsLieInTheMapInTheListsOrder();
    void manyLookUpsFindWhatEachLookUpFinds_data();
    void manyLookUpsFindWhatEachLookUpFinds();
};

void SessionItemMapTest::snapshotsStayIntactThroughRandomChanges()
{
    // A copy after every change, as the undo history keeps them; each must still hold what the map
    // held then.
    QRandomGenerator random(20261206);
    SessionItemMap map;
    Reference reference;
    QList<QUuid> ids;
    QList<std::pair<SessionItemMap, Reference>> snapshots;
    for (int step = 0; step < 600; ++step) {
        const int op = ids.size() < 50 ? 0 : int(random.bounded(3));
        if (op == 0) {
            const QUuid id = QUuid::createUuid();
            ids.append(id);
            map.insert(id, makeItem(id, step));
            reference.insert(id, makeItem(id, step));
        } else if (op == 1) {
            const QUuid id = ids.takeAt(random.bounded(int(ids.size())));
            QVERIFY(map.remove(id));
            reference.remove(id);
        } else {
            const QUuid& id = ids.at(random.bounded(int(ids.size())));
            map[id].note = QStringLiteral("Changed at %1").arg(step);
            reference[id].note = QStringLiteral("Changed at %1").arg(step);
        }
        snapshots.append({map, reference});
    }
    QVERIFY(sameContent(map, reference));
    for (const auto& [snapshot, expected] : snapshots)
        QVERIFY(sameContent(snapshot, expected));
}

// The session's tests judge "nothing changed" by this equality, so it must see every difference.
void SessionItemMapTest::equalityComparesValues()
{
    QList<QUuid> ids;
    for (int i = 0; i < 700; ++i)
        ids.append(QUuid::createUuid());
    SessionItemMap forward;
    SessionItemMap backward;
    for (int i = 0; i < ids.size(); ++i)
        forward.insert(ids.at(i), makeItem(ids.at(i), i));
    for (int i = int(ids.size()) - 1; i >= 0; --i)
        backward.insert(ids.at(i), makeItem(ids.at(i), i));
    QCOMPARE(forward, backward);

    SessionItemMap changed = backward;
    changed[ids.at(3)].note = QStringLiteral("Other");
    QVERIFY(changed != forward);
    SessionItemMap otherKey = forward;
    otherKey.remove(ids.at(0));
    QVERIFY(otherKey != forward);
    const QUuid other = QUuid::createUuid();
    otherKey.insert(other, makeItem(other, 0));
    QVERIFY(otherKey != forward); // the same size, another key

    // Emptied maps equal a map that never held anything.
    SessionItemMap emptied = forward;
    for (const QUuid& id : ids)
        emptied.remove(id);
    QCOMPARE(emptied, SessionItemMap());
    QVERIFY(SessionItemMap() != forward);
}

void SessionItemMapTest::bulkBuiltMapEqualsInsertedOne_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("skewed");
    // Past 4,096 items most leaves hold several, which the bulk build must sort.
    for (int count : {0, 1, 2, 700, 10000})
        QTest::addRow("%d", count) << count << false;
    // Ids that are not spread evenly in the leaves' order: a look-up cannot start where a random
    // id would lie.
    QTest::addRow("60000 skewed") << 60000 << true;
}

void SessionItemMapTest::bulkBuiltMapEqualsInsertedOne()
{
    QFETCH(int, count);
    QFETCH(bool, skewed);
    QList<SessionItem> items;
    SessionItemMap inserted;
    Reference reference;
    for (int i = 0; i < count; ++i) {
        QUuid id = QUuid::createUuid();
        if (skewed)
            id.data2 = id.data3 = i % 2 ? 0 : 0xFFFF;
        const SessionItem item = makeItem(id, i);
        items.append(item);
        inserted.insert(item.id, item);
        reference.insert(item.id, item);
    }
    SessionItemMap built(items);
    QCOMPARE(built, inserted);
    QVERIFY(sameContent(built, reference));

    // It changes like any other map, and its copies stay as they were.
    const SessionItemMap copy = built;
    const QUuid added = QUuid::createUuid();
    built.insert(added, makeItem(added, count));
    inserted.insert(added, makeItem(added, count));
    if (count > 0) {
        QVERIFY(built.remove(items.first().id));
        inserted.remove(items.first().id);
    }
    QCOMPARE(built, inserted);
    QVERIFY(sameContent(copy, reference));
}

// A map built for a list nobody will take any more (its opening dropped) gives up within a few
// thousand items wherever the stop comes, reading ids or making items, and holds nothing.
void SessionItemMapTest::aStoppedBuildGivesUpAndHoldsNothing()
{
    constexpr qsizetype count = 20000;
    QList<SessionItem> items;
    for (int i = 0; i < count; ++i)
        items.append(makeItem(QUuid::createUuid(), i));
    // The step at which the stop is set: ids are read in steps 0 to count - 1, items made after.
    for (const qsizetype stopAt : {qsizetype(-1), qsizetype(0), qsizetype(5000), count + 5000}) {
        std::atomic<bool> stop {false};
        qsizetype made = 0;
        const SessionItemMap map(
            count,
            [&](qsizetype i) {
                if (i == stopAt)
                    stop = true;
                return items.at(i).id;
            },
            [&](qsizetype i) {
                if (count + i == stopAt)
                    stop = true;
                ++made;
                return items.at(i);
            },
            &stop);
        if (stopAt < 0) {
            QCOMPARE(map, SessionItemMap(items));
            continue;
        }
        QVERIFY(map.isEmpty());
        QVERIFY(map.begin() == map.end());
        QVERIFY(!map.contains(items.constFirst().id));
        QVERIFY(made <= std::max<qsizetype>(0, stopAt - count) + 4096);
    }
}

void SessionItemMapTest::loadedIdsLieInTheMapInTheListsOrder_data()
{
    QTest::addColumn<int>("total");
    // Fewer tasks than leaves, a leaf's share that is not whole, and many tasks a leaf.
    for (int total : {1, 3, 1000, 4097, 30011, 100003})
        QTest::addRow("%d", total) << total;
}

void SessionItemMapTest::loadedIdsLieInTheMapInTheListsOrder()
{
    QFETCH(int, total);
    // Made in three parts, as a list's sections are.
    ItemIdGenerator random;
    const qsizetype firstPart = total / 3;
    const qsizetype secondPart = total / 2;
    QList<QUuid> ids = SessionItemMap::orderedIDs(0, firstPart, total, random);
    ids += SessionItemMap::orderedIDs(firstPart, secondPart, total, random);
    ids += SessionItemMap::orderedIDs(firstPart + secondPart, total - firstPart - secondPart, total, random);
    QCOMPARE(ids.size(), total);
    QCOMPARE(QSet<QUuid>(ids.cbegin(), ids.cend()).size(), total);
    for (const QUuid& id : std::as_const(ids)) {
        QCOMPARE(id.version(), QUuid::Random);
        QCOMPARE(id.variant(), QUuid::DCE);
    }

    // A leaf is an allocation of every load: a short list takes a leaf per few tasks, not one
    // per task. Its leaves still spread over all 64 regions of the map's 4096, as random ids do,
    // when it has enough of them (the panel's table of rows and the id lists place ids by them).
    QSet<std::size_t> leaves;
    QSet<std::size_t> regions;
    for (const QUuid& id : std::as_const(ids)) {
        leaves.insert(SessionItemMap::leafIndex(id));
        regions.insert(SessionItemMap::leafIndex(id) >> SessionItemMap::levelBits);
    }
    QVERIFY(leaves.size() <= std::max<qsizetype>(1, 2 * total / SessionItemMap::loadedLeafTasks));
    QCOMPARE(regions.size(), std::min<qsizetype>(leaves.size(), SessionItemMap::fanOut));

    QList<SessionItem> items;
    for (int i = 0; i < total; ++i)
        items.append(makeItem(ids.at(i), i));
    SessionItemMap map(items);
    QList<QUuid> inMapOrder;
    for (const SessionItem& item : map)
        inMapOrder.append(item.id);
    QCOMPARE(inMapOrder, ids);

    // New random ids go in among them like in any map.
    SessionItemMap inserted;
    for (const SessionItem& item : std::as_const(items))
        inserted.insert(item.id, item);
    for (int i = 0; i < 100; ++i) {
        const QUuid id = QUuid::createUuid();
        map.insert(id, makeItem(id, total + i));
        inserted.insert(id, makeItem(id, total + i));
    }
    QCOMPARE(map, inserted);
    for (const QUuid& id : std::as_const(ids))
        QCOMPARE(map.value(id).id, id);
}

void SessionItemMapTest::manyLookUpsFindWhatEachLookUpFinds_data()
{
    QTest::addColumn<QString>("keys");
    // A loaded list's keys lie in the map in their order; the look-ups walk them while each follows
    // the one before and sort the rest once many do not.
    QTest::newRow("the list in order") << "all";
    QTest::newRow("every ninth, in order") << "ninth";
    QTest::newRow("in order, new and missing keys among them") << "mixed";
    QTest::newRow("backwards") << "backwards";
    QTest::newRow("shuffled") << "shuffled";
    QTest::newRow("in order, then shuffled") << "half";
    QTest::newRow("one key many times") << "same";
}

void SessionItemMapTest::manyLookUpsFindWhatEachLookUpFinds()
{
    QFETCH(QString, keys);
    ItemIdGenerator generator;
    const int total = 20000;
    const QList<QUuid> ids = SessionItemMap::orderedIDs(0, total, total, generator);
    QList<SessionItem> items;
    for (int i = 0; i < total; ++i)
        items.append(makeItem(ids.at(i), i));
    SessionItemMap map(items);
    // Tasks added since loading lie anywhere.
    QList<QUuid> added;
    for (int i = 0; i < 500; ++i) {
        added.append(QUuid::createUuid());
        map.insert(added.last(), makeItem(added.last(), total + i));
    }

    QRandomGenerator random(17);
    QList<QUuid> asked;
    if (keys == "all") {
        asked = ids;
    } else if (keys == "ninth") {
        for (int i = 4; i < total; i += 9)
            asked.append(ids.at(i));
    } else if (keys == "mixed") {
        for (int i = 0; i < total; ++i) {
            asked.append(ids.at(i));
            if (i % 40 == 0)
                asked.append(added.at(i / 40));
            if (i % 97 == 0)
                asked.append(QUuid::createUuid()); // not in the map
        }
    } else if (keys == "backwards") {
        asked = QList<QUuid>(ids.crbegin(), ids.crend());
    } else if (keys == "shuffled") {
        asked = ids + added;
        std::shuffle(asked.begin(), asked.end(), std::mt19937(5));
    } else if (keys == "half") {
        asked = ids;
        std::shuffle(asked.begin() + total / 2, asked.end(), std::mt19937(6));
    } else {
        asked = QList<QUuid>(1000, ids.at(total / 2));
    }
    const std::vector<const SessionItem*> found = map.pointersTo(asked);
    const std::vector<const SessionItem*> foundInList = map.pointersTo(ItemIDList(asked));
    QCOMPARE(found.size(), std::size_t(asked.size()));
    QCOMPARE(foundInList, found);
    qsizetype missing = 0;
    for (qsizetype i = 0; i < asked.size(); ++i) {
        QCOMPARE(found[std::size_t(i)], map.pointerTo(asked.at(i)));
        missing += found[std::size_t(i)] == nullptr;
    }
    QCOMPARE(missing, keys == "mixed" ? (total + 96) / 97 : 0);
}

QTEST_GUILESS_MAIN(SessionItemMapTest)
#include "SessionItemMapTest.moc"
