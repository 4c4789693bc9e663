#include "session/ItemIDList.h"
#include "session/ItemIdGenerator.h"
#include "session/ListChange.h"
#include "session/SessionItemMap.h"

#include <QRandomGenerator>
#include <QTest>

#include <array>

class ItemIDListTest : public QObject {
    Q_OBJECT

private slots:
    void copiesEditedApartReadAsTheirModels();
};

namespace {

// Whether list holds exactly model, through every way of reading it.
QString differenceFrom(const ItemIDList& list, const QList<QUuid>& model, QRandomGenerator& random)
{
    if (list.size() != model.size() || list.isEmpty() != model.isEmpty())
        return QStringLiteral("size %1, expected %2").arg(list.size()).arg(model.size());
    if (!(list == model) || list.toList() != model)
        return QStringLiteral("content differs");
    qsizetype i = 0;
    for (auto it = list.begin(); it != list.end(); ++it, ++i)
        if (*it != model.at(i) || it.index() != i)
            return QStringLiteral("walk differs at %1").arg(i);
    if (list.end() - list.begin() != model.size())
        return QStringLiteral("iterators span %1").arg(list.end() - list.begin());
    if (model.isEmpty())
        return {};
    if (list.first() != model.first() || list.last() != model.last())
        return QStringLiteral("ends differ");
    for (int probe = 0; probe < 8; ++probe) {
        const int at = random.bounded(int(model.size()));
        const int step = random.bounded(-at, int(model.size()) - at);
        if (list.at(at) != model.at(at) || list.indexOf(model.at(at)) != at
            || *(list.iteratorAt(at) + step) != model.at(at + step)
            || *(list.end() - (model.size() - at)) != model.at(at) || list.mid(at, 700) != model.mid(at, 700))
            return QStringLiteral("reading at %1 differs").arg(at);
    }
    if (list.contains(QUuid::createUuid()))
        return QStringLiteral("holds an id never put in");
    return {};
}

// Whether every id of the model is found where it is, from the start and from just before it.
QString misplacedIn(const ItemIDList& list, const QList<QUuid>& model)
{
    for (qsizetype i = 0; i < model.size(); ++i)
        if (list.indexOf(model.at(i)) != i || list.indexOf(model.at(i), std::max<qsizetype>(0, i - 3)) != i)
            return QStringLiteral("%1 not found at its place").arg(i);
    return {};
}

} // namespace

// Several copies of a list of a few thousand ids, sharing chunks, are edited apart by inserts,
// removals of stretches across chunks, moves near and far, replacements, appends and copies of
// each other. Each must read as its QList model at every step, however the others change, and
// the comparisons must agree with the models': equality, and how one list became another. The list
// starts as a loaded one, whose ids each chunk tells apart from most others, and gets ids made
// later and ids of a loaded list elsewhere: every id must still be found where it is.
void ItemIDListTest::copiesEditedApartReadAsTheirModels()
{
    QRandomGenerator random(17);
    ItemIdGenerator bits;
    constexpr int copies = 4;
    std::array<ItemIDList, copies> lists;
    std::array<QList<QUuid>, copies> models;
    models[0] = SessionItemMap::orderedIDs(0, 3000, 3000, bits);
    lists[0] = ItemIDList(models[0]);
    // Ids of a longer list, to come in later from any stretch of it, each once.
    QList<QUuid> elsewhere = SessionItemMap::orderedIDs(0, 20000, 20000, bits);
    const auto newID = [&] {
        return random.bounded(2) || elsewhere.isEmpty()
            ? QUuid::createUuid()
            : elsewhere.takeAt(random.bounded(int(elsewhere.size())));
    };
    for (int c = 1; c < copies; ++c) {
        lists[c] = lists[0];
        models[c] = models[0];
    }
    for (int step = 0; step < 1500; ++step) {
        const int c = random.bounded(copies);
        ItemIDList& list = lists[c];
        QList<QUuid>& model = models[c];
        const ItemIDList before = list;
        const QList<QUuid> modelBefore = model;
        const int size = int(model.size());
        const int kind = size == 0 ? 0 : random.bounded(7);
        if (kind == 0) {
            // One id, or a run of them at one place (which splits chunks).
            const int at = random.bounded(size + 1);
            for (int n = random.bounded(4) ? 1 : random.bounded(1, 700); n > 0; --n) {
                const QUuid id = newID();
                list.insert(at, id);
                model.insert(at, id);
            }
        } else if (kind == 1) {
            const int at = random.bounded(size);
            const int count = random.bounded(1, std::min(size - at, random.bounded(2) ? 4 : 1200) + 1);
            list.remove(at, count);
            model.remove(at, count);
        } else if (kind == 2) {
            const int from = random.bounded(size);
            const int to = random.bounded(2) ? random.bounded(size)
                                             : std::clamp(from + random.bounded(-3, 4), 0, size - 1);
            list.move(from, to);
            model.move(from, to);
        } else if (kind == 3) {
            const int at = random.bounded(size);
            const QUuid id = random.bounded(2) ? newID() : model.at(at);
            list.replace(at, id);
            model.replace(at, id);
        } else if (kind == 4) {
            for (int n = random.bounded(1, 600); n > 0; --n) {
                model.append(newID());
                list.append(model.last());
            }
        } else {
            const int other = random.bounded(copies);
            list = lists[other];
            model = models[other];
            if (random.bounded(50) == 0) {
                list.clear();
                model.clear();
            }
        }
        for (int k = 0; k < copies; ++k) {
            const QString difference = differenceFrom(lists[k], models[k], random);
            QVERIFY2(difference.isEmpty(),
                qPrintable(QStringLiteral("copy %1 after step %2: %3").arg(k).arg(step).arg(difference)));
            QCOMPARE(lists[c] == lists[k], models[c] == models[k]);
        }
        if (step % 10 == 0) {
            const QString misplaced = misplacedIn(list, model);
            QVERIFY2(misplaced.isEmpty(),
                qPrintable(QStringLiteral("after step %1: %2").arg(step).arg(misplaced)));
        }
        const ListChange change = ListChange::between(before, list, 1);
        qsizetype prefix = 0;
        while (
            prefix < std::min(modelBefore.size(), model.size()) && modelBefore.at(prefix) == model.at(prefix))
            ++prefix;
        const qsizetype suffix = model.size() - change.prefix - change.inserted;
        QCOMPARE(change.prefix, prefix);
        QCOMPARE(modelBefore.size() - change.prefix - change.removed, suffix);
        QVERIFY(modelBefore.sliced(modelBefore.size() - suffix) == model.sliced(model.size() - suffix));
        // The unchanged end is as long as it can be beside the unchanged start.
        const qsizetype room = std::min(modelBefore.size(), model.size()) - change.prefix;
        QVERIFY(suffix == room
            || modelBefore.at(modelBefore.size() - suffix - 1) != model.at(model.size() - suffix - 1));
        if (kind == 2 && change.removed > 1) {
            const qsizetype last = change.prefix + change.removed - 1;
            QCOMPARE(change.move, model.at(last) == modelBefore.at(change.prefix) ? 1 : -1);
        }
    }
}

QTEST_GUILESS_MAIN(ItemIDListTest)
#include "ItemIDListTest.moc"
