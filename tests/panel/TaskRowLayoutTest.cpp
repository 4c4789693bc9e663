#include "panel/TaskRowLayout.h"
#include "document/DocumentFormat.h"
#include "platform/ManualScheduler.h"
#include "session/ItemIdGenerator.h"
#include "session/LoadedContent.h"
#include "session/SessionController.h"
#include "session/SessionItemMap.h"

#include <QRandomGenerator>
#include <QTest>

#include <functional>
#include <utility>

namespace {

// A long list loaded as a file's list is, its rows made ahead: the first `working` tasks in the
// working section, the last ten completed; and a layout to be fed its rows, which keeps what it
// lets go of in `released`.
struct LoadedLongList {
    LoadedLongList(int count, int working, const std::function<QString(int)>& title)
    {
        VeskDocument document;
        for (int i = 0; i < count; ++i)
            (i < working             ? document.workingItems
                    : i < count - 10 ? document.inboxItems
                                     : document.completedItems)
                .append(VeskTask {title(i), std::nullopt});
        LoadedContent content = LoadedContent::of(document);
        content.makeRows();
        session.loadContent(content);
        layout.setScrollContentWidth(width);
        layout.setRelease([this](std::shared_ptr<const void> old) { released.push_back(std::move(old)); });
    }
    ManualScheduler scheduler;
    SessionController session {&scheduler};
    SessionRows::Seen seen;
    TaskRowLayout layout;
    double width = 490;
    std::vector<std::shared_ptr<const void>> released;
};

} // namespace

// The row layout needs no window: it is fed the session's rows and what sizes them.
class TaskRowLayoutTest : public QObject {
    Q_OBJECT

    struct Fixture {
        ManualScheduler scheduler;
        SessionController session {&scheduler};
        TaskRowLayout layout;

        explicit Fixture(const QString& text = "Write the report\n> Two pages\n> with a summary\n"
                                               "Call the plumber\n---\nRead the plan\n---\nBuy milk")
        {
            session.loadDocument(parseDocument(text));
            layout.setScrollContentWidth(490);
            update();
        }
        void update()
        {
            layout.setRows(session.renderedRows());
            layout.relayout();
        }
        QUuid id(TaskSection section, int index) const { return session.itemIDs(section).at(index); }
        QRectF rect(const QString& rowID) const
        {
            const auto block = layout.blockForRowID(rowID);
            return block ? TaskRowLayout::blockRect(*block, 490) : QRectF();
        }
        QRectF rect(TaskSection section, int index) const
        {
            const auto block = layout.taskBlock(id(section, index));
            return block ? TaskRowLayout::blockRect(*block, 490) : QRectF();
        }
    };

private Q_SLOTS:
    void sectionsAndRowsLayOutInOrder()
    {
        Fixture empty("");
        const QRectF working = empty.rect("section-header-working");
        const QRectF inbox = empty.rect("section-header-inbox");
        // Each empty section keeps a spacer.
        QVERIFY(inbox.top() > working.bottom());
        QVERIFY(empty.rect("input").isEmpty());
        empty.session.beginCreatingNewItem();
        empty.update();
        QCOMPARE(empty.rect("input").top(), inbox.bottom());

        Fixture f;
        const QRectF first = f.rect(TaskSection::working, 0);
        const QRectF second = f.rect(TaskSection::working, 1);
        QVERIFY(first.bottom() <= second.top() && second.bottom() < f.rect(TaskSection::inbox, 0).top()
            && f.rect(TaskSection::inbox, 0).bottom() < f.rect(TaskSection::completed, 0).top());
        QVERIFY(first.left() > 0 && first.right() < 490);
        // Every block is found again by its identifier and by a point inside it.
        for (qsizetype i = 0; i < f.layout.blockCount(); ++i) {
            const TaskRowLayout::Block block = f.layout.block(i);
            QCOMPARE(f.layout.blockForRowID(f.layout.blockID(block))->top, block.top);
            if (block.height > 0)
                QCOMPARE(f.layout.blockIndexAt(block.top + block.height / 2), i);
        }
        f.session.setFilterQuery("plumber");
        f.update();
        QVERIFY(f.rect(TaskSection::working, 0).isEmpty() && !f.rect(TaskSection::working, 1).isEmpty());
    }

    // Between layouts from scratch, only the rows whose presentation changed are measured again and
    // rows are found by index; whatever happens in between, every block lies where a layout from
    // scratch puts it, and each task is found at its own row.
    void aPartialLayoutMatchesOneFromScratch()
    {
        QString text;
        for (int i = 0; i < 150; ++i)
            text += QStringLiteral("Task %1 with a title long enough to wrap when it is expanded in the row\n"
                                   "> and a note\n")
                        .arg(i);
        Fixture f(text + "---\nInbox one\nInbox two\n---\nDone");
        const auto working = [&](int index) { return f.id(TaskSection::working, index); };
        QList<std::function<void(TaskRowLayout&)>> steps;
        const auto step = [&](const QString& name, std::function<void(TaskRowLayout&)> change) {
            steps << change;
            change(f.layout);
            f.layout.relayout();
            TaskRowLayout fresh;
            fresh.setScrollContentWidth(490);
            for (const auto& replay : steps)
                replay(fresh);
            fresh.relayout();
            QCOMPARE(f.layout.blockCount(), fresh.blockCount());
            for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
                const TaskRowLayout::Block a = f.layout.block(i), b = fresh.block(i);
                QVERIFY2(a.kind == b.kind && a.row == b.row && a.top == b.top && a.height == b.height,
                    qPrintable(name + QString(" block %1").arg(i)));
            }
            QCOMPARE(f.layout.contentHeight(), fresh.contentHeight());
            for (TaskSection section : allTaskSections) {
                for (const QUuid& id : f.session.itemIDs(section)) {
                    const auto block = f.layout.taskBlock(id);
                    const auto expected = fresh.taskBlock(id);
                    QVERIFY2((block ? block->row : -1) == (expected ? expected->row : -1), qPrintable(name));
                    const auto named = f.layout.blockForRowID(
                        "task-" + taskSectionRawValue(section) + "-" + canonicalUuidText(id));
                    QVERIFY2(
                        bool(block) == bool(named) && (!block || named->row == block->row), qPrintable(name));
                    if (block && block->height > 0)
                        QCOMPARE(f.layout.blockAt(block->top + block->height / 2)->row, block->row);
                }
            }
        };
        // The layout under test takes the session's changes as splices, the fresh one whole rows.
        SessionRows::Seen seen;
        f.session.updateRows(seen);
        const auto rows = [&](TaskRowLayout& layout) {
            if (&layout == &f.layout)
                layout.applySplices(f.session.updateRows(seen));
            else
                layout.setRows(f.session.renderedRows());
        };
        step("rows", rows);
        step("expanded", [id = working(25)](TaskRowLayout& layout) { layout.setExpandedTaskID(id); });
        step("growing", [id = working(25)](TaskRowLayout& layout) {
            layout.presentationState(id) = {true, 37.5};
        });
        f.session.setSelection(SessionSelection::task(working(25)));
        f.session.moveSelectedItem(1);
        step("moved down", rows);
        step("next expanded", [old = working(26), id = working(29)](TaskRowLayout& layout) {
            layout.removePresentationState(old);
            layout.setExpandedTaskID(id);
            layout.presentationState(id).visibleExpanded = true;
        });
        step("editing", [id = working(2)](TaskRowLayout& layout) {
            layout.setEditedTaskID(id);
            layout.setEditorHeight(id, 90);
        });
        f.session.setSelection(SessionSelection::task(working(0)));
        f.session.deleteSelectedItem();
        step("deleted", rows);
        f.session.beginCreatingNewItem();
        step("new item", rows);
        step("input grew", [](TaskRowLayout& layout) { layout.setInputEditorHeight(60); });
        step("editing done", [](TaskRowLayout& layout) { layout.setEditedTaskID(std::nullopt); });
        f.session.moveItem(working(3), TaskSection::working, 40, true);
        step("moved far", rows);
        f.session.setFilterQuery("5");
        step("filtered", rows);
        f.session.setFilterQuery("2");
        step("filtered again", rows);
        step("collapsed", [id = working(28)](TaskRowLayout& layout) {
            layout.setExpandedTaskID(std::nullopt);
            layout.removePresentationState(id);
        });

        // Frames of a collapse scale only the collapsing rows, and their end restores them.
        f.session.setFilterQuery("");
        step("unfiltered", rows);
        const RenderedRow collapsing = f.layout.rows().at(20);
        for (double scale : {0.5, 0.25, 1.0}) {
            const TaskRowLayout::CollapseProgress progress
                = [&](const RenderedRow& row) { return row == collapsing ? scale : 1.0; };
            TaskRowLayout fresh;
            fresh.setScrollContentWidth(490);
            for (const auto& replay : steps)
                replay(fresh);
            // At 1 the collapse has ended: no progress is given.
            fresh.relayout(scale < 1 ? progress : TaskRowLayout::CollapseProgress());
            if (scale < 1)
                f.layout.relayout(progress, {collapsing});
            else
                f.layout.relayout();
            for (qsizetype i = 0; i < fresh.blockCount(); ++i)
                QCOMPARE(f.layout.block(i).top, fresh.block(i).top);
            QCOMPARE(f.layout.contentHeight(), fresh.contentHeight());
        }
    }

    // Rows and blocks are kept in chunks of a few hundred: splices inside one, across the edges
    // between them, emptying one or growing one past splitting, and a height change inside one,
    // leave every block, row and lookup as a layout from scratch has them.
    void splicesAcrossChunksMatchAFreshLayout_data()
    {
        QTest::addColumn<QList<int>>("splices"); // at, removed, inserted: one update
        QTest::addColumn<int>("grown"); // the row whose height changes, before and after
        QTest::newRow("inside a chunk") << QList<int> {300, 0, 1, 302, 1, 0} << 400;
        QTest::newRow("growing one past splitting") << QList<int> {300, 0, 600} << 200;
        QTest::newRow("across an edge") << QList<int> {200, 120, 0, 240, 0, 30} << 700;
        QTest::newRow("replacing at an edge") << QList<int> {250, 10, 3} << 260;
        QTest::newRow("emptying the rows' chunk") << QList<int> {256, 256, 0} << 600;
        QTest::newRow("emptying the blocks' chunk") << QList<int> {255, 256, 0} << 100;
        QTest::newRow("whole chunks") << QList<int> {100, 900, 0} << 50;
        QTest::newRow("more rows than are indexed one by one")
            << QList<int> {100, 50, 5000, 5200, 3, 1} << 60;
        QTest::newRow("the last rows") << QList<int> {1200, 190, 0, 1200, 0, 700} << 1000;
        // Thousands of rows at once (a list opened or reloaded) are indexed when first looked up.
        QTest::newRow("thousands at once") << QList<int> {300, 0, 5000} << 200;
        QTest::newRow("thousands replaced") << QList<int> {11, 1380, 4500} << 5;
        QTest::newRow("many stretches") << QList<int> {20, 1, 0, 254, 2, 1, 255, 1, 3, 511, 0, 2, 600, 300, 0,
            700, 0, 40, 800, 1, 1, 900, 5, 0, 1000, 0, 1}
                                        << 520;
    }
    void splicesAcrossChunksMatchAFreshLayout()
    {
        QFETCH(QList<int>, splices);
        QFETCH(int, grown);
        // Ten working tasks, then the inbox's; the splices stay within the inbox.
        QList<RenderedRow> rows;
        const auto task
            = [](TaskSection section) { return RenderedRow::task(QUuid::createUuid(), section, false); };
        for (int i = 0; i < 10; ++i)
            rows << task(TaskSection::working);
        rows << RenderedRow::separator(TaskSection::working);
        for (int i = 0; i < 1380; ++i)
            rows << task(TaskSection::inbox);
        rows << RenderedRow::separator(TaskSection::inbox) << task(TaskSection::completed);
        TaskRowLayout layout;
        layout.setScrollContentWidth(490);
        layout.setRows(rows);
        const QUuid grownID = rows[grown].itemID;
        layout.presentationState(grownID) = {true, 37.5};
        layout.relayout();

        QList<RowSplice> update;
        for (qsizetype i = 0; i + 2 < splices.size(); i += 3) {
            RowSplice splice {splices[i], splices[i + 1], {}};
            for (int n = 0; n < splices[i + 2]; ++n)
                splice.inserted << task(TaskSection::inbox);
            update << splice;
        }
        // The row index is in use before the update, and follows it.
        QVERIFY(layout.taskBlock(rows[0].itemID));
        applyRowSplices(rows, update);
        layout.applySplices(update);
        layout.relayout();
        for (double height : {37.5, 80.25}) {
            layout.presentationState(grownID).animatedHeight = height;
            layout.relayout();
            QCOMPARE(layout.rows().toList(), rows);
            TaskRowLayout fresh;
            fresh.setScrollContentWidth(490);
            fresh.presentationState(grownID) = layout.presentationState(grownID);
            fresh.setRows(rows);
            fresh.relayout();
            QCOMPARE(layout.blockCount(), fresh.blockCount());
            QCOMPARE(layout.contentHeight(), fresh.contentHeight());
            for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
                const TaskRowLayout::Block a = layout.block(i), b = fresh.block(i);
                QVERIFY2(a.kind == b.kind && a.row == b.row && a.top == b.top && a.height == b.height,
                    qPrintable(QString("block %1").arg(i)));
                QCOMPARE(layout.blockIndexAt(a.top + a.height / 2), i);
                if (a.kind == TaskRowLayout::Block::Kind::task)
                    QCOMPARE(layout.taskBlock(rows[a.row].itemID)->top, a.top);
                else
                    QCOMPARE(layout.blockForRowID(layout.blockID(a))->top, a.top);
            }
        }
    }
    // A long run of random changes of every kind the list view makes: a few rows spliced (a task
    // deleted and brought back, moved far, replaced by its completion shell), many stretches (a
    // filter), thousands of rows at once (a reload, whose ids may lie in the order they were made
    // for, as a loaded list's do, and which may come with their outline), expansion, an editor,
    // growing rows, a collapse and a new width.
    // After each, every block, lookup and task's row is what a layout made from scratch of the same
    // rows has, whether or not rows were looked for before the change; the lists of rows the layout
    // was given, which it shares rather than copies, are as they were given.
    // Taking in a list that replaced another (thousands of rows) hands the rows and tasks let go of
    // to be freed elsewhere, so that freeing them does not hold the frame; a command's few rows do
    // not.
    void aReloadHandsWhatItLetsGoOfToBeFreedElsewhere()
    {
        const auto listOf = [](const QString& title) {
            VeskDocument document;
            for (int i = 0; i < 5000; ++i)
                document.inboxItems.append(VeskTask {QString("%1 %2").arg(title).arg(i), std::nullopt});
            return document;
        };
        ManualScheduler scheduler;
        SessionController session(&scheduler);
        session.loadDocument(listOf("Call"));
        SessionRows::Seen seen;
        TaskRowLayout layout;
        layout.setScrollContentWidth(490);
        std::vector<std::shared_ptr<const void>> released;
        layout.setRelease([&](std::shared_ptr<const void> old) { released.push_back(std::move(old)); });
        const auto update = [&] {
            const QList<RowSplice> splices = session.updateRows(seen);
            layout.setItems(seen.items());
            layout.applySplices(splices);
            layout.relayout();
            QCOMPARE(layout.rows().toList(), session.renderedRows());
        };
        update();
        const size_t afterOpening = released.size();

        session.deleteSelectedItem();
        update();
        QCOMPARE(released.size(), afterOpening);

        session.loadDocument(listOf("Write"));
        update();
        QCOMPARE(released.size(), afterOpening + 1);
        QVERIFY(released.back() != nullptr);
        const QUuid last = session.itemIDs(TaskSection::inbox).last();
        QCOMPARE(
            layout.text(layout.rows()[layout.rowIndex(last, RenderedRow::Kind::task)]).title, "Write 4999");
    }

    // A list loaded with its rows made ahead (on the writer) brings their outline to the layout,
    // which lays them out from it: every block and task where a layout that read each row has them,
    // before and after a change of width, with a row of the list expanded or none.
    void aLoadedListIsLaidOutFromItsOutline()
    {
        VeskDocument document;
        for (int i = 0; i < 5000; ++i)
            document.workingItems.append(VeskTask {QString("Working %1").arg(i), std::nullopt});
        document.completedItems.append(VeskTask {"Done", std::nullopt});
        // Wraps to more lines the narrower the list.
        document.workingItems[1700].title = QString("A title of many words that wraps ").repeated(12);
        LoadedContent content = LoadedContent::of(document);
        content.makeRows();
        for (bool expanded : {false, true}) {
            ManualScheduler scheduler;
            SessionController session(&scheduler);
            session.loadContent(content);
            SessionRows::Seen seen;
            const QList<RowSplice> splices = session.updateRows(seen);
            QVERIFY(splices.size() == 1 && splices[0].outline);
            TaskRowLayout layout;
            layout.setItems(seen.items());
            const QUuid shown = content.working.at(1700);
            if (expanded)
                layout.setExpandedTaskID(shown);
            layout.applySplices(splices);
            for (double width : {0.0, 490.0}) {
                layout.setScrollContentWidth(width);
                layout.relayout();
                TaskRowLayout fresh;
                fresh.setItems(seen.items());
                fresh.setExpandedTaskID(layout.expandedTaskID());
                fresh.setScrollContentWidth(width);
                fresh.setRows(session.renderedRows());
                fresh.relayout();
                QCOMPARE(layout.blockCount(), fresh.blockCount());
                QCOMPARE(layout.contentHeight(), fresh.contentHeight());
                for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
                    const TaskRowLayout::Block a = layout.block(i), b = fresh.block(i);
                    QVERIFY2(a.kind == b.kind && a.section == b.section && a.row == b.row && a.top == b.top
                            && a.height == b.height,
                        qPrintable(QString("block %1").arg(i)));
                }
                for (TaskSection section : allTaskSections) {
                    for (const QUuid& id : session.itemIDs(section))
                        QCOMPARE(layout.taskBlock(id)->top, fresh.taskBlock(id)->top);
                }
            }
        }
    }

    // A search that shows a few rows of a long list, then cleared: the list comes back as it was laid
    // out before the search, told what changed meanwhile (a task expanded, a row growing, the width,
    // a task edited), exactly as a layout of the rows from scratch.
    void aClearedSearchLaysOutAsFromScratch()
    {
        LoadedLongList list(6000, 3000, [](int i) {
            return QString("Task %1 with a title long enough to wrap when it is expanded%2")
                .arg(i)
                .arg(i % 500 == 7 ? " red" : "");
        });
        auto& [scheduler, session, seen, layout, width, released] = list;
        const auto id = [&](TaskSection section, int index) { return session.itemIDs(section).at(index); };
        // Presentation given to both layouts.
        std::optional<QUuid> expanded;
        QHash<QUuid, SelectionPresentationState> states;
        const auto present = [&](TaskRowLayout& target) {
            target.setExpandedTaskID(expanded);
            for (const QUuid& key : target.presentationStates().keys())
                if (!states.contains(key))
                    target.removePresentationState(key);
            for (auto it = states.cbegin(); it != states.cend(); ++it)
                target.presentationState(it.key()) = it.value();
        };
        const auto update = [&](const char* where) {
            present(layout);
            const QList<RowSplice> splices = session.updateRows(seen);
            layout.setItems(seen.items());
            layout.applySplices(splices);
            layout.relayout();
            TaskRowLayout fresh;
            fresh.setScrollContentWidth(width);
            present(fresh);
            fresh.setItems(session.itemsByID());
            fresh.setRows(session.renderedRows());
            fresh.relayout();
            QVERIFY2(layout.blockCount() == fresh.blockCount(), where);
            for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
                const TaskRowLayout::Block a = layout.block(i), b = fresh.block(i);
                QVERIFY2(a.kind == b.kind && a.row == b.row && a.top == b.top && a.height == b.height,
                    qPrintable(QString("%1, block %2").arg(where).arg(i)));
            }
            QVERIFY2(layout.contentHeight() == fresh.contentHeight(), where);
            for (TaskSection section : allTaskSections) {
                const ItemIDList& ids = session.itemIDs(section);
                for (qsizetype i = 0; i < ids.size(); i += 97) {
                    const auto block = layout.taskBlock(ids.at(i));
                    const auto expected = fresh.taskBlock(ids.at(i));
                    QVERIFY2((block ? block->row : -1) == (expected ? expected->row : -1), where);
                }
            }
        };
        update("loaded");
        expanded = id(TaskSection::working, 7);
        update("expanded");
        session.setFilterQuery("red");
        update("searched");
        expanded = id(TaskSection::working, 507);
        states[id(TaskSection::inbox, 0)] = {true, 40.5};
        update("expanded while searching");
        session.setFilterQuery("");
        update("cleared");
        QVERIFY(layout.taskBlock(id(TaskSection::working, 507))->height
            > layout.taskBlock(id(TaskSection::working, 7))->height);

        session.setFilterQuery("red");
        update("searched again");
        states.clear();
        width = 300;
        layout.setScrollContentWidth(width);
        session.setFilterQuery("");
        update("narrower");

        session.setFilterQuery("red");
        update("searched a third time");
        session.setSelection(SessionSelection::task(id(TaskSection::inbox, 493)));
        session.beginEditingSelectedItem();
        session.updateInlineEditDraft("Edited, long enough to wrap when it is expanded in a narrow row, red");
        session.commitInlineEdit();
        session.moveSelectedItem(-1);
        expanded = id(TaskSection::inbox, 492);
        update("edited while searching");
        session.setFilterQuery("");
        update("cleared after the edit");
        QVERIFY(!released.empty());
    }

    // Searches in a long list, and tasks added, edited, deleted, moved and completed before, during
    // and after them, the width changed or a task expanded now and then: after every step the layout
    // brought up to date by the session's splices is the layout of its rows from scratch. A search
    // cleared after a few changes hands back the list taken before them, then the changes.
    void searchesClearedAfterRandomChangesLayOutAsFromScratch()
    {
        LoadedLongList list(5000, 2000, [](int i) {
            return QString("Task %1, a title long enough to wrap when expanded%2")
                .arg(i)
                .arg(i % 400 == 9 ? " red" : "");
        });
        auto& [scheduler, session, seen, layout, width, released] = list;
        std::optional<QUuid> expanded;
        QRandomGenerator random(4242);
        const auto pickTask = [&] {
            for (int tries = 0; tries < 8; ++tries) {
                const TaskSection section = allTaskSections[random.bounded(3)];
                const ItemIDList& ids = session.itemIDs(section);
                if (!ids.isEmpty()) {
                    session.setSelection(SessionSelection::task(ids.at(random.bounded(int(ids.size())))));
                    return;
                }
            }
        };
        const QList<std::function<void()>> steps {
            [&] { session.setFilterQuery("red"); },
            [&] { session.setFilterQuery("re"); },
            [&] { session.setFilterQuery(""); },
            [&] { session.setFilterQuery(""); },
            [&] {
                session.beginCreatingNewItem(QString("added %1 red").arg(random.bounded(100)));
                session.commitNewItem();
            },
            [&] {
                pickTask();
                session.beginEditingSelectedItem();
                session.updateInlineEditDraft(
                    QString("edited %1, long enough to wrap when it is expanded red")
                        .arg(random.bounded(100)));
                session.commitInlineEdit();
            },
            [&] {
                pickTask();
                session.deleteSelectedItem();
            },
            [&] {
                pickTask();
                session.moveSelectedItem(random.bounded(2) ? 1 : -1);
            },
            [&] {
                const ItemIDList& ids = session.itemIDs(TaskSection::inbox);
                session.moveItem(ids.at(random.bounded(int(ids.size()))), TaskSection::inbox,
                    random.bounded(int(ids.size())), false);
            },
            [&] {
                pickTask();
                session.toggleSelectedItemCompletion();
                scheduler.advance(5);
            },
            [&] { session.undo(); },
            [&] {
                width = width == 490 ? 380 : 490;
                layout.setScrollContentWidth(width);
            },
            [&] {
                const ItemIDList& ids = session.itemIDs(TaskSection::working);
                expanded = ids.isEmpty() || random.bounded(3) == 0
                    ? std::nullopt
                    : std::optional<QUuid>(ids.at(random.bounded(int(ids.size()))));
            },
        };
        for (int step = 0; step < 300; ++step) {
            // Runs of changes, searches among them; a task expanded or folded up before most.
            const int kind = random.bounded(int(steps.size()));
            if (random.bounded(2))
                steps.last()();
            steps[kind]();
            const QString where = QString("step %1, change %2").arg(step).arg(kind);
            layout.setExpandedTaskID(expanded);
            const QList<RowSplice> splices = session.updateRows(seen);
            layout.setItems(seen.items());
            layout.applySplices(splices);
            layout.relayout();
            SessionRows::Seen none;
            const QList<RenderedRow> rows = session.updateRows(none).value(0).inserted;
            // Another reader, which takes the splices as a list of rows.
            QVERIFY2(session.renderedRows() == rows, qPrintable(where));
            TaskRowLayout fresh;
            fresh.setScrollContentWidth(width);
            fresh.setExpandedTaskID(expanded);
            fresh.setItems(session.itemsByID());
            fresh.setRows(rows);
            fresh.relayout();
            QVERIFY2(layout.rows().size() == rows.size(), qPrintable(where));
            for (qsizetype i = 0; i < rows.size(); i += 7)
                QVERIFY2(layout.rows()[i] == rows[i], qPrintable(QString("%1, row %2").arg(where).arg(i)));
            QVERIFY2(layout.blockCount() == fresh.blockCount(), qPrintable(where));
            QVERIFY2(layout.contentHeight() == fresh.contentHeight(), qPrintable(where));
            for (qsizetype i = 0; i < fresh.blockCount(); i += 5) {
                const TaskRowLayout::Block a = layout.block(i), b = fresh.block(i);
                QVERIFY2(a.kind == b.kind && a.row == b.row && a.top == b.top && a.height == b.height,
                    qPrintable(QString("%1, block %2").arg(where).arg(i)));
            }
            for (qsizetype i = 0; i < rows.size(); i += 53) {
                if (rows[i].kind != RenderedRow::Kind::task)
                    continue;
                const auto block = layout.taskBlock(rows[i].itemID);
                QVERIFY2(block && block->row == i, qPrintable(QString("%1, task row %2").arg(where).arg(i)));
            }
        }
    }

    void randomChangesMatchALayoutFromScratch()
    {
        QRandomGenerator random(17);
        const auto pick
            = [&](qsizetype bound) { return qsizetype(random.bounded(int(std::max<qsizetype>(1, bound)))); };
        const auto task
            = [](TaskSection section) { return RenderedRow::task(QUuid::createUuid(), section, false); };
        // Working, inbox and completed rows between their separators; splices keep to the inbox.
        ItemIdGenerator idGenerator;
        const auto listOf = [&](int inbox, bool loaded = false) {
            const QList<QUuid> ids = loaded
                ? SessionItemMap::orderedIDs(0, 41 + inbox, 41 + inbox, idGenerator)
                : QList<QUuid>();
            qsizetype next = 0;
            const auto taskIn = [&](TaskSection section) {
                return loaded ? RenderedRow::task(ids[next++], section, false) : task(section);
            };
            QList<RenderedRow> rows;
            for (int i = 0; i < 40; ++i)
                rows << taskIn(TaskSection::working);
            rows << RenderedRow::separator(TaskSection::working) << RenderedRow::input(QString());
            for (int i = 0; i < inbox; ++i)
                rows << taskIn(TaskSection::inbox);
            rows << RenderedRow::separator(TaskSection::inbox) << taskIn(TaskSection::completed);
            return rows;
        };
        // Lists given to the layout whole, and a copy of each made apart from it.
        QList<std::pair<QList<RenderedRow>, QList<RenderedRow>>> given;
        QList<RenderedRow> rows = listOf(4600);
        TaskRowLayout layout;
        double width = 490;
        layout.setScrollContentWidth(width);
        layout.setRows(rows);
        layout.relayout();
        QList<RenderedRow> gone; // rows spliced away, some of which come back
        std::optional<QUuid> edited;
        QHash<QUuid, double> editorHeights;
        // The inbox's rows: after the input row, before the inbox's separator.
        const auto inboxStart
            = [&] { return qsizetype(rows.indexOf(RenderedRow::separator(TaskSection::working))) + 2; };
        const auto inboxEnd
            = [&] { return qsizetype(rows.indexOf(RenderedRow::separator(TaskSection::inbox))); };
        const auto someRow = [&] { return inboxStart() + pick(inboxEnd() - inboxStart()); };
        const auto smallSplice = [&](qsizetype at) {
            RowSplice splice {at, std::min<qsizetype>(pick(3), inboxEnd() - at), {}};
            for (qsizetype n = pick(3); n > 0; --n) {
                if (!gone.isEmpty() && random.bounded(2))
                    splice.inserted << gone.takeAt(pick(gone.size()));
                else if (random.bounded(8) == 0)
                    splice.inserted << RenderedRow::completionShell(
                        QUuid::createUuid(), TaskSection::inbox, "Leaving", std::nullopt, true);
                else
                    splice.inserted << task(TaskSection::inbox);
            }
            for (qsizetype i = at; i < at + splice.removed; ++i)
                gone << rows[i];
            return splice;
        };

        for (int step = 0; step < 300; ++step) {
            const QString name = QString("step %1").arg(step);
            TaskRowLayout::CollapseProgress progress;
            QList<RenderedRow> collapsing;
            QList<RowSplice> update;
            switch (random.bounded(9)) {
            case 0:
            case 1:
            case 2: { // a few rows, in one to three stretches
                qsizetype at = inboxStart() + pick(20);
                for (qsizetype n = 1 + pick(3); n > 0 && at < inboxEnd(); --n) {
                    update << smallSplice(at + pick(inboxEnd() - at));
                    // Later stretches lie after the earlier ones, in the rows after the update.
                    RowSplice& last = update.last();
                    applyRowSplices(rows, QList<RowSplice> {last});
                    at = last.at + last.inserted.size() + 1;
                }
                layout.applySplices(update);
                break;
            }
            case 3: { // many stretches
                qsizetype at = inboxStart();
                while (at + 40 < inboxEnd()) {
                    at += 1 + pick(300);
                    if (at >= inboxEnd())
                        break;
                    update << smallSplice(at);
                    applyRowSplices(rows, QList<RowSplice> {update.last()});
                    at += update.last().inserted.size();
                }
                layout.applySplices(update);
                break;
            }
            case 4: { // thousands of rows at once
                if (random.bounded(3) == 0)
                    break;
                if (random.bounded(2)) {
                    // A list reloaded: new tasks, sometimes with the outline made with them, one of
                    // them sometimes shown expanded at once.
                    const bool loaded = random.bounded(3) != 0;
                    update << RowSplice {0, rows.size(), listOf(4200 + int(pick(800)), loaded)};
                    const QList<RenderedRow>& list = update.last().inserted;
                    given << std::pair(list, QList<RenderedRow>(list.begin(), list.end()));
                    if (random.bounded(4))
                        update.last().outline = std::make_shared<const RowOutline>(RowOutline::of(list));
                    if (random.bounded(6) == 0)
                        layout.setExpandedTaskID(list[pick(list.size())].itemID);
                } else {
                    // A search cleared: the rows that were there, and those that had left, again.
                    QList<RenderedRow> again = rows;
                    for (const RenderedRow& row : std::exchange(gone, {}))
                        again.insert(inboxStart() + pick(inboxEnd() - inboxStart()), row);
                    update << RowSplice {0, rows.size(), again};
                }
                applyRowSplices(rows, update);
                layout.applySplices(update);
                break;
            }
            case 5: { // expansion and an editor
                const QUuid id = rows[someRow()].itemID;
                if (random.bounded(2)) {
                    layout.setExpandedTaskID(random.bounded(3) ? std::optional<QUuid>(id) : std::nullopt);
                } else {
                    edited = random.bounded(3) ? std::optional<QUuid>(id) : std::nullopt;
                    editorHeights[id] = double(40 + pick(80));
                    layout.setEditedTaskID(edited);
                    layout.setEditorHeight(id, editorHeights[id]);
                }
                break;
            }
            case 6: { // a row growing or shrinking
                const QUuid id = rows[someRow()].itemID;
                if (layout.presentationStates().size() > 3)
                    layout.removePresentationState(layout.presentationStates().keys().first());
                layout.presentationState(id) = {bool(random.bounded(2)), 20 + random.bounded(60.0)};
                break;
            }
            case 7: { // a frame of a collapse
                const RenderedRow row = rows[someRow()];
                const double scale = 0.1 + random.bounded(0.8);
                progress
                    = [row, scale](const RenderedRow& candidate) { return candidate == row ? scale : 1.0; };
                collapsing << row;
                break;
            }
            default:
                width = 300 + pick(400);
                layout.setScrollContentWidth(width);
                break;
            }
            layout.relayout(progress, collapsing);

            TaskRowLayout fresh;
            fresh.setScrollContentWidth(width);
            for (auto it = layout.presentationStates().begin(); it != layout.presentationStates().end(); ++it)
                fresh.presentationState(it.key()) = it.value();
            fresh.setExpandedTaskID(layout.expandedTaskID());
            fresh.setEditedTaskID(edited);
            for (auto it = editorHeights.begin(); it != editorHeights.end(); ++it)
                fresh.setEditorHeight(it.key(), it.value());
            fresh.setRows(rows);
            fresh.relayout(progress);
            QCOMPARE(layout.rows().toList(), rows);
            QCOMPARE(layout.blockCount(), fresh.blockCount());
            QCOMPARE(layout.contentHeight(), fresh.contentHeight());
            for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
                const TaskRowLayout::Block a = layout.block(i), b = fresh.block(i);
                QVERIFY2(a.kind == b.kind && a.row == b.row && a.top == b.top && a.height == b.height,
                    qPrintable(name + QString(" block %1").arg(i)));
                if (a.height > 0) {
                    QVERIFY2(layout.blockIndexAt(a.top + a.height / 2) == i, qPrintable(name));
                    QVERIFY2(layout.blockIndexAt(a.top) == i, qPrintable(name + " top"));
                }
            }
            // Every task and shell at its row, looked for in a random order, sometimes not at all
            // before the next change; rows that left are not found.
            if (random.bounded(4) == 0)
                continue;
            for (int n = 0; n < 200; ++n) {
                const qsizetype at = pick(rows.size());
                const RenderedRow& row = rows[at];
                if (row.kind == RenderedRow::Kind::task || row.kind == RenderedRow::Kind::completionShell) {
                    QVERIFY2(layout.rowIndex(row.itemID, row.kind) == at, qPrintable(name));
                    if (row.kind == RenderedRow::Kind::task)
                        QVERIFY2(
                            layout.taskBlock(row.itemID)->top == fresh.block(at + 1).top, qPrintable(name));
                }
            }
            for (const RenderedRow& row : gone)
                QVERIFY2(layout.rowIndex(row.itemID, row.kind) == -1, qPrintable(name + " gone"));
            for (const auto& [list, copy] : given)
                QVERIFY2(list == copy, qPrintable(name + " given"));
        }
    }
};

QTEST_MAIN(TaskRowLayoutTest)
#include "TaskRowLayoutTest.moc"
