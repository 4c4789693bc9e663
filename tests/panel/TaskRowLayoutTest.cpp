#include "panel/TaskRowLayout.h"
#include "document/DocumentFormat.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <QTest>

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
            layout.setCreatingNewItem(session.isCreatingNewItem());
            layout.relayout();
        }
        QUuid id(TaskSection section, int index) const { return session.itemIDs(section).at(index); }
        QRectF rect(const QString& rowID) const
        {
            const TaskRowLayout::Block* block = layout.blockForRowID(rowID);
            return block ? TaskRowLayout::blockRect(*block, 490) : QRectF();
        }
        QRectF rect(TaskSection section, int index) const
        {
            const TaskRowLayout::Block* block = layout.taskBlock(id(section, index));
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
        for (const TaskRowLayout::Block& block : f.layout.blocks()) {
            QCOMPARE(f.layout.blockForRowID(f.layout.blockID(block)), &block);
            if (block.height > 0)
                QCOMPARE(f.layout.blockAt(block.top + block.height / 2), &block);
        }
        f.session.setFilterQuery("plumber");
        f.update();
        QVERIFY(f.rect(TaskSection::working, 0).isEmpty() && !f.rect(TaskSection::working, 1).isEmpty());
    }

    // What sizes a row: its expansion, an open editor, a running collapse; rows below move with it.
    void aRowTakesTheHeightItIsPresentedAt()
    {
        Fixture f;
        const QUuid report = f.id(TaskSection::working, 0);
        const double collapsed = f.rect(TaskSection::working, 0).height();
        const double below = f.rect(TaskSection::working, 1).top();

        f.layout.setExpandedTaskID(report);
        f.layout.relayout();
        const double expanded = f.rect(TaskSection::working, 0).height();
        QVERIFY(expanded > collapsed + 10); // title and two note lines
        QCOMPARE(f.rect(TaskSection::working, 1).top(), below + expanded - collapsed);

        f.layout.setExpandedTaskID(std::nullopt);
        f.layout.presentationState(report).animatedHeight = 50;
        f.layout.relayout();
        QCOMPARE(f.rect(TaskSection::working, 0).height(), 50 + 2 * TaskRowLayout::rowPadding);

        f.layout.removePresentationState(report);
        f.layout.setEditedTaskID(report);
        f.layout.setEditorHeight(report, 70);
        f.layout.relayout([](const RenderedRow&) { return 0.5; });
        QCOMPARE(f.rect(TaskSection::working, 0).height(), (70 + 2 * TaskRowLayout::rowPadding) * 0.5);
    }
};

QTEST_MAIN(TaskRowLayoutTest)
#include "TaskRowLayoutTest.moc"
