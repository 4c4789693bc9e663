#include "panel/TaskRowLayout.h"
#include "document/DocumentFormat.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <QTest>

#include <functional>

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
};

QTEST_MAIN(TaskRowLayoutTest)
#include "TaskRowLayoutTest.moc"
