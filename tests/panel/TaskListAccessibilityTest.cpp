#include "panel/TaskListAccessibility.h"
#include "PanelFixture.h"
#include "document/DocumentFormat.h"
#include "panel/PanelStatusLine.h"
#include "session/SessionTransitions.h"

#include <QAccessible>

namespace {

// One announcement as a screen reader receives it: what happened, to what, inside what.
struct Heard {
    QAccessible::Event type;
    QString name;
    QString parent;
};

QList<Heard>& heard()
{
    static QList<Heard> events;
    return events;
}

void listen(QAccessibleEvent* event)
{
    QAccessibleInterface* iface = event->accessibleInterface();
    QVERIFY(iface);
    heard() << Heard {event->type(), iface->text(QAccessible::Name),
        iface->parent() ? iface->parent()->text(QAccessible::Name) : QString()};
}

// Whether an event of this type reached an object of this name (inside parent, when given).
bool wasHeard(QAccessible::Event type, const QString& name, const QString& parent = {})
{
    return std::any_of(heard().begin(), heard().end(), [&](const Heard& event) {
        return event.type == type && event.name == name && (parent.isEmpty() || event.parent == parent);
    });
}

QStringList childNames(QAccessibleInterface* iface)
{
    QStringList names;
    for (int i = 0; i < iface->childCount(); ++i)
        names << (iface->child(i) ? iface->child(i)->text(QAccessible::Name) : QStringLiteral("(none)"));
    return names;
}

VeskDocument longDocument(int count)
{
    VeskDocument document;
    for (int i = 0; i < count; ++i)
        document.inboxItems << VeskTask {QStringLiteral("Task %1").arg(i), std::nullopt};
    return document;
}

} // namespace

class TaskListAccessibilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { TaskListAccessibility::sendEvent = listen; }

    // Runs first, while no assistive technology has been announced: moving and editing make no
    // interfaces and send nothing.
    void silentWhileNothingListens()
    {
        PanelFixture panel;
        panel.select("Write the report");
        panel.type('j');
        panel.session()->beginEditingItem(panel.task("Water the plants"));
        panel.session()->updateInlineEditDraft("Water the garden");
        panel.session()->commitInlineEdit();
        panel.settle();
        QCOMPARE(panel.list()->findChild<TaskListAccessibility*>(), nullptr);
        QVERIFY(heard().isEmpty());
    }

    void theTreeReadsAsTheListShowsIt()
    {
        PanelFixture panel;
        panel.select("Call the plumber");
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel.list());
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(childNames(list), QStringList({"Next", "Pending", "Complete"}));
        QAccessibleInterface* next = list->child(0);
        QCOMPARE(next->role(), QAccessible::Grouping);
        QCOMPARE(next->parent(), list);
        QCOMPARE(childNames(next), QStringList({"Write the report", "Call the plumber"}));
        QCOMPARE(childNames(list->child(1)), QStringList({"Read the plan soon", "Water the plants"}));

        QAccessibleInterface* report = next->child(0);
        QAccessibleInterface* plumber = next->child(1);
        QCOMPARE(report->role(), QAccessible::ListItem);
        QCOMPARE(report->text(QAccessible::Description), QStringLiteral("Two pages"));
        QCOMPARE(report->parent(), next);
        QCOMPARE(next->indexOfChild(plumber), 1);
        QVERIFY(plumber->state().selected && plumber->state().focused && !plumber->state().checked);
        QVERIFY(!report->state().selected && !report->state().focused);
        QCOMPARE(list->focusChild(), plumber);
        QVERIFY(list->child(2)->child(0)->state().checked);
        QVERIFY(panel.list()->rect().contains(panel.list()->mapFromGlobal(plumber->rect().center())));

        QAccessibleInterface* link = list->child(1)->child(0)->child(0);
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), QStringLiteral("the plan"));
        QCOMPARE(link->text(QAccessible::Value), QStringLiteral("https://example.com/plan"));
        QCOMPARE(link->parent(), list->child(1)->child(0));

        auto* statusLine = panel.root->findChild<PanelStatusLine*>();
        QAccessibleInterface* status = QAccessible::queryAccessibleInterface(statusLine);
        QCOMPARE(status->role(), QAccessible::StatusBar);
        QCOMPARE(status->text(QAccessible::Name), statusLine->shownStatus());
        QVERIFY(!statusLine->shownStatus().isEmpty());

        panel.session()->beginEditingItem(panel.task("Call the plumber"));
        panel.settle();
        QCOMPARE(list->child(3)->text(QAccessible::Name), QStringLiteral("Edit task"));
        panel.session()->cancelInlineEdit();
        panel.session()->beginCreatingNewItem();
        panel.settle();
        QCOMPARE(list->child(3)->text(QAccessible::Name), QStringLiteral("New task"));
        QCOMPARE(list->child(3)->role(), QAccessible::EditableText);
    }

    // Ten thousand rows: only the rows asked for get interfaces, each kept under one id.
    void rowsAreMadeOnlyWhenAskedFor()
    {
        ListFixture f(longDocument(10000), QSize(490, 610));
        QAccessibleInterface* pending = QAccessible::queryAccessibleInterface(&f.view)->child(1);
        QCOMPARE(pending->childCount(), 10000);
        QAccessibleInterface* last = pending->child(9999);
        QCOMPARE(last->text(QAccessible::Name), QStringLiteral("Task 9999"));
        QCOMPARE(pending->indexOfChild(last), 9999);
        QCOMPARE(pending->child(9999), last);
        QVERIFY(QAccessible::uniqueId(pending->child(0)) != QAccessible::uniqueId(last));
        QVERIFY(last->state().offscreen && !pending->child(0)->state().offscreen);
        QCOMPARE(f.view.accessibility()->itemInterfaceCount(), 2);

        // A reload replaces every row: the rows read go, and the rest is one change of the list.
        QAccessible::setActive(true);
        heard().clear();
        f.session.loadDocument(longDocument(10000));
        QAccessible::setActive(false);
        QVERIFY(wasHeard(QAccessible::ObjectDestroyed, "Task 9999", "Pending"));
        QVERIFY(wasHeard(QAccessible::ObjectReorder, "Tasks"));
        QVERIFY(!wasHeard(QAccessible::ObjectCreated, "Task 9999"));
        QVERIFY(f.view.accessibility()->itemInterfaceCount() <= 1); // the selected row, if any
    }

    // While tasks move, land, leave and come back (animated, so landings run their frames), each
    // section's item at index i names the task the list shows there, and a landing ends with the
    // rows and blocks of a list laid out afresh.
    void theTreeFollowsTheRowsThroughLandings_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("complete the first task") << "T1 space land";
        QTest::newRow("move down and up") << "T2 down down up settle";
        QTest::newRow("delete the last task") << "Done2 delete settle";
        QTest::newRow("undo during a landing") << "T3 pending preview frame frame undo land";
        QTest::newRow("complete the last pending during a landing")
            << "T1 space preview frame Inbox2 space land";
        QTest::newRow("uncomplete the last task, redo") << "Done2 space land undo land redo land";
        QTest::newRow("delete the landed task mid-landing") << "T4 space preview frame delete land";
        QTest::newRow("complete two tasks in quick succession")
            << "T1 space frame space preview frame frame land";
        QTest::newRow("move two tasks in one turn") << "T1 pending Done1 next frame land";
        QTest::newRow("move a task back while its shell collapses")
            << "T1 pending turn clear T1 next next T3 delete land";
        QTest::newRow("move a completed task to Next while its shell collapses")
            << "T1 space preview clear T1 next frame frame land";
    }
    void theTreeFollowsTheRowsThroughLandings()
    {
        QFETCH(QString, script);
        ListFixture f(
            parseDocument("T1\nT2\nT3\nT4\n---\nInbox1\nInbox2\n---\nDone1\nDone2"), QSize(420, 640), true);
        QAccessible::setActive(true);
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&f.view);
        const auto treeMatchesTheRows = [&] {
            const QList<RenderedRow> rows = f.session.renderedRows();
            for (TaskSection section : allTaskSections) {
                QStringList shown;
                for (const RenderedRow& row : rows)
                    if (row.kind == RenderedRow::Kind::task && row.section == section)
                        shown << row.text(f.session.itemsByID()).title;
                QAccessibleInterface* group = list->child(int(section));
                QCOMPARE(childNames(group), shown);
                for (int i = 0; i < group->childCount(); ++i)
                    QCOMPARE(group->indexOfChild(group->child(i)), i);
            }
        };
        // Rows collapsing away are the only rows the session does not show, each once, in its own
        // section; every landing the list sees collapses its shell and grows its task.
        const auto collapsingRowsStayInTheirSections = [&] {
            const QList<RenderedRow> shown = f.session.renderedRows();
            QList<RenderedRow> kept;
            const QList<RenderedRow> rows = f.view.layout().rows().toList();
            for (qsizetype i = 0; i < rows.size(); ++i) {
                if (shown.contains(rows[i])) {
                    kept << rows[i];
                    continue;
                }
                QCOMPARE(rows[i].kind, RenderedRow::Kind::completionShell);
                QVERIFY(f.view.transitions().collapsingRows().contains(rows[i]));
                QCOMPARE(rows.count(rows[i]), 1);
                // The row above is of the same section, or its header or input row.
                TaskSection aboveSection = TaskSection::working;
                if (i > 0 && rows[i - 1].kind == RenderedRow::Kind::separator)
                    aboveSection = TaskSection(int(rows[i - 1].section) + 1);
                else if (i > 0)
                    aboveSection = rows[i - 1].kind == RenderedRow::Kind::input ? TaskSection::inbox
                                                                                : rows[i - 1].section;
                QCOMPARE(aboveSection, rows[i].section);
            }
            QCOMPARE(kept, shown);
        };
        std::optional<CompletionShellState> shownShell;
        QStringList landedStill;
        connect(&f.session, &SessionController::changed, &f.view, [&] {
            const std::optional<TaskSection> section
                = shownShell ? f.session.sectionOf(shownShell->itemID) : std::nullopt;
            if (section && *section != shownShell->section) {
                const QList<RenderedRow> moving = f.view.transitions().collapsingRows();
                const auto moves = [&](RenderedRow::Kind kind, TaskSection in) {
                    return std::any_of(moving.begin(), moving.end(), [&](const RenderedRow& row) {
                        return row.kind == kind && row.itemID == shownShell->itemID && row.section == in;
                    });
                };
                if (!moves(RenderedRow::Kind::completionShell, shownShell->section)
                    || !moves(RenderedRow::Kind::task, *section))
                    landedStill << shownShell->title;
            }
            shownShell = f.session.completionShell();
        });
        treeMatchesTheRows();
        for (const QString& step : script.split(' ')) {
            if (step == "space")
                f.session.toggleSelectedItemCompletion();
            else if (step == "pending")
                f.session.moveSelectedItemToPending();
            else if (step == "next")
                f.session.moveSelectedItemToNext();
            else if (step == "down" || step == "up")
                f.session.moveSelectedItem(step == "down" ? 1 : -1);
            else if (step == "delete")
                f.session.deleteSelectedItem();
            else if (step == "undo")
                f.session.undo();
            else if (step == "redo")
                f.session.redo();
            else if (step == "preview")
                f.scheduler.advance(SessionController::completionPreviewDelay);
            else if (step == "clear")
                f.scheduler.advance(SessionTransitions::shellClearingDelay + 0.01);
            else if (step == "frame")
                f.scheduler.advance(0.05);
            else if (step == "turn")
                f.scheduler.runDueJobs();
            else if (step == "land" || step == "settle")
                f.scheduler.advance(1);
            else
                f.session.setSelection(SessionSelection::task(taskNamed(f.session, step)));
            treeMatchesTheRows();
            collapsingRowsStayInTheirSections();
        }
        QCOMPARE(landedStill, QStringList());
        QVERIFY(!f.view.transitions().isRunning());
        QCOMPARE(f.view.layout().rows().toList(), f.session.renderedRows());
        TaskRowLayout fresh;
        fresh.setScrollContentWidth(f.view.layout().scrollContentWidth());
        fresh.setExpandedTaskID(f.view.layout().expandedTaskID());
        for (auto it = f.view.layout().presentationStates().cbegin();
             it != f.view.layout().presentationStates().cend(); ++it)
            fresh.presentationState(it.key()) = it.value();
        fresh.setRows(f.session.renderedRows());
        fresh.relayout();
        QCOMPARE(fresh.blockCount(), f.view.layout().blockCount());
        for (qsizetype i = 0; i < fresh.blockCount(); ++i) {
            QCOMPARE(f.view.layout().block(i).top, fresh.block(i).top);
            QCOMPARE(f.view.layout().block(i).height, fresh.block(i).height);
        }
        QAccessible::setActive(false);
    }

    void eventsFollowTheUser()
    {
        PanelFixture panel;
        QAccessible::setActive(true);
        panel.select("Write the report");
        heard().clear();

        panel.type('j');
        QVERIFY(wasHeard(QAccessible::Focus, "Call the plumber", "Next"));
        heard().clear();
        panel.type('k');
        QVERIFY(wasHeard(QAccessible::StateChanged, "Call the plumber", "Next")); // no longer selected
        QVERIFY(wasHeard(QAccessible::Focus, "Write the report", "Next"));
        panel.type('j');

        panel.press(Qt::Key_Return);
        panel.list()->inlineEditor()->selectAll();
        QTest::keyClicks(panel.focus(), "Call the electrician");
        panel.press(Qt::Key_Return);
        QVERIFY(wasHeard(QAccessible::NameChanged, "Call the electrician", "Next"));

        heard().clear();
        panel.type(' ');
        panel.scheduler.advance(2);
        panel.settle();
        // The row gives way to the completion shell, and the task lands at the top of Complete.
        QVERIFY(wasHeard(QAccessible::ObjectDestroyed, "Call the electrician", "Next"));
        QVERIFY(wasHeard(QAccessible::ObjectCreated, "Call the electrician", "Complete"));
        QAccessibleInterface* complete = QAccessible::queryAccessibleInterface(panel.list())->child(2);
        QVERIFY(complete->child(0)->state().checked);

        panel.select("Water the plants");
        heard().clear();
        panel.press(Qt::Key_Backspace);
        QVERIFY(wasHeard(QAccessible::ObjectDestroyed, "Water the plants", "Pending"));

        heard().clear();
        panel.type('n');
        QTest::keyClicks(panel.focus(), "Pay rent");
        panel.press(Qt::Key_Return);
        QVERIFY(wasHeard(QAccessible::ObjectCreated, "Pay rent", "Pending"));

        QAccessible::setActive(false);
    }
};

QTEST_MAIN(TaskListAccessibilityTest)
#include "TaskListAccessibilityTest.moc"
