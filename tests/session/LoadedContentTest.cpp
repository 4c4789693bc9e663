#include "session/LoadedContent.h"

#include "session/SessionRows.h"

#include <QSet>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

// A list of `count` tasks over the three sections, every third with a note.
VeskDocument listOf(int count)
{
    VeskDocument document;
    for (int i = 0; i < count; ++i) {
        VeskTask task {QStringLiteral("Task %1").arg(i),
            i % 3 == 0 ? std::optional<QString>(QStringLiteral("Note %1").arg(i)) : std::nullopt};
        (i % 7 == 0          ? document.workingItems
                : i % 7 == 6 ? document.completedItems
                             : document.inboxItems)
            .append(task);
    }
    return document;
}

// Whether content holds the document's tasks: each section's ids, in order, name items with the
// document's titles and notes, every id is a different one, and the map keeps them in the list's
// order (so that reading the list in order reads memory in order).
bool holds(const LoadedContent& content, const VeskDocument& document)
{
    QList<QUuid> inListOrder;
    for (const ItemIDList* ids : {&content.working, &content.inbox, &content.completed})
        for (const QUuid& id : *ids)
            inListOrder.append(id);
    QList<QUuid> inMapOrder;
    for (const SessionItem& item : content.items)
        inMapOrder.append(item.id);
    if (inMapOrder != inListOrder)
        return false;
    const std::array<std::pair<const ItemIDList*, const QList<VeskTask>*>, 3> sections {{
        {&content.working, &document.workingItems},
        {&content.inbox, &document.inboxItems},
        {&content.completed, &document.completedItems},
    }};
    QSet<QUuid> seen;
    for (const auto& [ids, tasks] : sections) {
        if (ids->size() != tasks->size())
            return false;
        for (qsizetype i = 0; i < ids->size(); ++i) {
            const SessionItem* item = content.items.pointerTo(ids->at(i));
            if (!item || item->id != ids->at(i) || item->title != tasks->at(i).title
                || item->note != tasks->at(i).note || seen.contains(item->id))
                return false;
            seen.insert(item->id);
        }
    }
    return content.items.size() == seen.size();
}

} // namespace

class LoadedContentTest : public QObject {
    Q_OBJECT

private slots:
    // A list made ready for nobody (its opening dropped) hands out nothing, however far it got;
    // with a stop that is never set, it is made as it is without one, a few thousand tasks at a time.
    void aStopHandsOutNothing()
    {
        const VeskDocument document = listOf(30011);
        QVERIFY(holds(LoadedContent::of(document), document));
        std::atomic<bool> stop {false};
        const std::optional<LoadedContent> content = LoadedContent::of(document, &stop);
        QVERIFY(content);
        QVERIFY(holds(*content, document));
        QVERIFY(content->rows.isEmpty());

        // Its rows likewise: those an update makes, or none.
        LoadedContent withRows = *content;
        withRows.makeRows(&stop);
        QCOMPARE(
            withRows.rows, SessionRows::unfilteredRows(content->working, content->inbox, content->completed));
        QCOMPARE(withRows.rows.size(), 30011 + 2);

        stop = true;
        QVERIFY(!LoadedContent::of(document, &stop));
        withRows.makeRows(&stop);
        QVERIFY(withRows.rows.isEmpty());

        // Stopped from another thread while it works: the tasks whole, or nothing.
        int stopped = 0;
        for (int round = 0; round < 20; ++round) {
            std::atomic<bool> dropped {false};
            std::optional<LoadedContent> made;
            std::thread maker([&] { made = LoadedContent::of(document, &dropped); });
            for (int spin = 0; spin < round * 20000; ++spin)
                std::atomic_signal_fence(std::memory_order_seq_cst);
            dropped = true;
            maker.join();
            if (made)
                QVERIFY(holds(*made, document));
            else
                ++stopped;
        }
        QVERIFY(stopped > 0);
    }
};

QTEST_GUILESS_MAIN(LoadedContentTest)
#include "LoadedContentTest.moc"
