#include "SessionTestSupport.h"

#include <functional>
#include <map>

namespace {

// The undo steps pushed, committed-change calls and reveals one action caused, e.g. "1 1 0".
QString effectOf(SessionHarness& h, const std::function<void()>& action)
{
    const ObservedState before = observe(h);
    action();
    const ObservedState after = observe(h);
    return QStringLiteral("%1 %2 %3")
        .arg(after.undoCount - before.undoCount)
        .arg(after.commits - before.commits)
        .arg(after.selectionRevealRevision - before.selectionRevealRevision);
}

} // namespace

class SessionCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void acceptedCommandsPushCommitAndRevealAsListed();
    void refusedCommandsDoNothingAtAll();
    void everyEditingCommandIsRefusedWhileBlocked();
    void newItemDraftRules();
    void inlineEditRules();
    void deleteSelectsTheRowThatTakesItsPlace();
    void moveSelectionWalksSelectableRows();
    void reorderingUsesTheFullList();
    void leavingASectionSelectsANeighbourOrFallsBack();
    void predicatesFollowTheirConditions();
};

void SessionCommandsTest::acceptedCommandsPushCommitAndRevealAsListed()
{
    SessionHarness h;
    h.load({"W1", "W2"}, {"I1", "I2"}, {"C1", "C2"});
    auto& s = h.session;

    QCOMPARE(effectOf(h, [&] { s.beginCreatingNewItem("New"); }), QString("0 0 0"));
    QCOMPARE(effectOf(h, [&] { s.setInputDraft("New item"); }), QString("0 0 0"));
    QCOMPARE(effectOf(h, [&] { s.commitNewItem(); }), QString("1 1 0"));
    QCOMPARE(h.titles(TaskSection::inbox).first(), QString("New item"));
    s.beginCreatingNewItem();
    QCOMPARE(effectOf(h, [&] { s.cancelNewItem(); }), QString("0 0 0"));

    h.select("W1");
    QCOMPARE(effectOf(h, [&] { s.beginEditingSelectedItem(); }), QString("0 0 0"));
    QCOMPARE(effectOf(h, [&] { s.beginEditingItem(h.id("W2")); }), QString("0 0 0"));
    QCOMPARE(s.selection(), h.task("W2"));
    QCOMPARE(s.inlineEditState()->itemID, h.id("W2"));
    QCOMPARE(effectOf(h, [&] { s.updateInlineEditDraft("W2 edited"); }), QString("0 0 0"));
    QCOMPARE(effectOf(h, [&] { s.commitInlineEdit(); }), QString("1 1 0"));
    s.beginEditingSelectedItem();
    QCOMPARE(effectOf(h, [&] { s.commitInlineEdit(); }), QString("0 0 0")); // unchanged
    s.beginEditingSelectedItem();
    QCOMPARE(effectOf(h, [&] { s.cancelInlineEdit(); }), QString("0 0 0"));
    QVERIFY(!s.inlineEditState());

    QCOMPARE(effectOf(h, [&] { s.moveSelection(-1); }), QString("0 0 1"));
    QCOMPARE(effectOf(h, [&] { s.moveSelection(-1); }), QString("0 0 0")); // already at the top
    QCOMPARE(effectOf(h, [&] { s.moveSelectedItem(1); }), QString("1 1 1"));
    QCOMPARE(effectOf(h, [&] { s.moveItem(h.id("W1"), TaskSection::working, 0, true); }), QString("1 1 1"));
    QCOMPARE(effectOf(h, [&] { s.moveItem(h.id("W1"), TaskSection::working, 0, true); }), QString("0 0 0"));
    h.select("I2");
    QCOMPARE(effectOf(h, [&] { s.deleteSelectedItem(); }), QString("1 1 1"));

    // Completing: the undo step at the command, the commit and reveal when the task lands.
    h.select("W1");
    QCOMPARE(effectOf(h, [&] { s.toggleSelectedItemCompletion(); }), QString("1 0 0"));
    QCOMPARE(effectOf(h, [&] { h.scheduler.advance(0.4); }), QString("0 1 1"));
    h.scheduler.advance(0.32);
    // Returning a completed task to the inbox happens at once.
    h.select("C1");
    QCOMPARE(effectOf(h, [&] { s.toggleSelectedItemCompletion(); }), QString("1 1 1"));
    QCOMPARE(h.titles(TaskSection::inbox).first(), QString("C1"));

    // Completed to Next: undo step at once, lands at the end of the working list.
    h.select("C2");
    QCOMPARE(effectOf(h, [&] { s.moveSelectedItemToNext(); }), QString("1 0 0"));
    QCOMPARE(effectOf(h, [&] { h.scheduler.runDueJobs(); }), QString("0 1 1"));
    QCOMPARE(h.titles(TaskSection::working).last(), QString("C2"));
    h.scheduler.advance(0.32);

    // Inbox to Next: nothing until the wait is over.
    h.select("I1");
    QCOMPARE(effectOf(h, [&] { s.moveSelectedItemToNext(); }), QString("0 0 0"));
    QCOMPARE(effectOf(h, [&] { h.scheduler.advance(0.28); }), QString("1 1 1"));
    QCOMPARE(h.titles(TaskSection::working).last(), QString("I1"));
    h.scheduler.advance(0.32);

    // Working to Pending through the today toggle; completed to Pending through completion.
    h.select("I1");
    QCOMPARE(effectOf(h, [&] { s.moveSelectedItemToPending(); }), QString("1 0 0"));
    QCOMPARE(effectOf(h, [&] { h.scheduler.runDueJobs(); }), QString("0 1 1"));
    QCOMPARE(h.titles(TaskSection::inbox).first(), QString("I1"));
    h.scheduler.advance(0.32);
    h.select("W1");
    QCOMPARE(effectOf(h, [&] { s.moveSelectedItemToPending(); }), QString("1 1 1"));
    QCOMPARE(h.titles(TaskSection::inbox).first(), QString("W1"));
    h.select("C2");
    QCOMPARE(effectOf(h, [&] { s.toggleSelectedItemToday(); }), QString("1 0 0"));
    QCOMPARE(effectOf(h, [&] { h.scheduler.runDueJobs(); }), QString("0 1 1"));
    h.scheduler.advance(0.32);

    QCOMPARE(effectOf(h, [&] { s.undo(); }), QString("-1 1 0"));
    QCOMPARE(effectOf(h, [&] { s.redo(); }), QString("1 1 0"));
    QCOMPARE(effectOf(h, [&] { s.setFilterQuery("W"); }), QString("0 0 1"));
    QCOMPARE(effectOf(h, [&] { s.setFilterQuery("W"); }), QString("0 0 0"));
}

// The editing commands by name, on the session the harness holds.
std::map<QString, std::function<void()>> editingCommands(SessionHarness& h)
{
    auto& s = h.session;
    return {
        {"begin new", [&] { s.beginCreatingNewItem("x"); }},
        {"commit new", [&] { s.commitNewItem(); }},
        {"cancel new", [&] { s.cancelNewItem(); }},
        {"edit", [&] { s.beginEditingSelectedItem(); }},
        {"edit I1", [&] { s.beginEditingItem(h.id("I1")); }},
        {"update edit", [&] { s.updateInlineEditDraft("changed"); }},
        {"commit edit", [&] { s.commitInlineEdit(); }},
        {"cancel edit", [&] { s.cancelInlineEdit(); }},
        {"delete", [&] { s.deleteSelectedItem(); }},
        {"move", [&] { s.moveSelectedItem(1); }},
        {"drag W1", [&] { s.moveItem(h.id("W1"), TaskSection::working, 1, false); }},
        {"drag I1", [&] { s.moveItem(h.id("I1"), TaskSection::working, 1, false); }},
        {"complete", [&] { s.toggleSelectedItemCompletion(); }},
        {"to Next", [&] { s.moveSelectedItemToNext(); }},
        {"to Pending", [&] { s.moveSelectedItemToPending(); }},
        {"today", [&] { s.toggleSelectedItemToday(); }},
        {"undo", [&] { s.undo(); }},
        {"redo", [&] { s.redo(); }},
    };
}

void SessionCommandsTest::refusedCommandsDoNothingAtAll()
{
    SessionHarness h;
    auto& s = h.session;
    auto commands = editingCommands(h);
    commands["select down"] = [&] { s.moveSelection(1); };
    const std::map<QString, std::function<void()>> conditions {
        {"closed", [] {}},
        {"none", [&] { h.select("none"); }},
        {"input", [&] { h.select("input"); }},
        {"stale", [&] { h.select("stale"); }},
        {"W1", [&] { h.select("W1"); }},
        {"I1", [&] { h.select("I1"); }},
        {"C1", [&] { h.select("C1"); }},
        {"blank draft", [&] { s.beginCreatingNewItem(" \n\t"); }},
        {"W1 in preview", [&] { h.select("W1"), s.toggleSelectedItemCompletion(), h.select("W1"); }},
        {"W2 in preview", [&] { h.select("W2"), s.toggleSelectedItemCompletion(); }},
        {"editor on W1", [&] { h.select("W1"), s.beginEditingSelectedItem(); }},
        {"editor on C1", [&] { h.select("C1"), s.beginEditingSelectedItem(); }},
        // W1 landed at the top of the inbox, its transition still running.
        {"W1 landed",
            [&] { h.select("W1"), s.toggleSelectedItemToday(), h.scheduler.runDueJobs(), h.select("W1"); }},
    };
    const QList<std::pair<QString, QStringList>> refusals {
        {"commit new", {"blank draft"}},
        {"cancel new", {"closed"}},
        {"edit", {"none", "input", "stale", "W1 in preview"}},
        {"update edit", {"closed"}},
        {"commit edit", {"closed"}},
        {"delete", {"none", "input", "W1 in preview"}},
        {"move", {"none", "input", "stale"}},
        {"drag W1", {"editor on W1"}},
        {"drag I1", {"closed"}},
        {"complete", {"none", "stale", "W1 in preview"}},
        {"to Next", {"none", "W1", "editor on C1", "W1 landed"}},
        {"to Pending", {"none", "I1"}},
        {"today", {"none", "C1", "W1 in preview"}},
        {"select down", {"C1"}},
    };
    for (const auto& [command, situations] : refusals)
        for (const QString& situation : situations) {
            h.load({"W1", "W2"}, {"I1", "I2"}, {"C1"});
            conditions.at(situation)();
            VERIFY_REFUSED(h, command + " with " + situation, commands.at(command)());
        }
}

void SessionCommandsTest::everyEditingCommandIsRefusedWhileBlocked()
{
    SessionHarness h;
    auto& s = h.session;
    // Selected task in each section, with the input row and an editor open and a step to redo, so
    // that every command would otherwise apply.
    for (const char* selected : {"W1", "I1", "C1"}) {
        for (const auto& [name, command] : editingCommands(h)) {
            s.setEditingBlocked(false);
            h.load({"W1", "W2"}, {"I1"}, {"C1"});
            h.select("W1");
            s.moveSelectedItem(1);
            s.undo();
            s.beginCreatingNewItem("draft");
            h.select(selected);
            s.beginEditingSelectedItem();
            s.updateInlineEditDraft("edited");
            if (name == "move") // moving up and down is the deliberate exception
                continue;
            s.setEditingBlocked(true);
            h.scheduler.advance(1); // what the steps above scheduled (folding ahead) runs first
            const ObservedState before = observe(h);
            command();
            h.scheduler.advance(1); // nothing was scheduled either
            VERIFY_UNCHANGED(h, before, name + " on " + selected);
        }
    }

    // Selection, filter and moving up and down still work.
    h.load({"W1", "W2"});
    s.setEditingBlocked(true);
    s.moveSelection(1);
    QCOMPARE(s.selection(), h.task("W2"));
    s.setFilterQuery("W1");
    QCOMPARE(s.selection(), h.task("W1"));
    const int commits = h.commits;
    s.moveSelectedItem(1);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"W2", "W1"}));
    QCOMPARE(h.commits, commits + 1);
}

void SessionCommandsTest::newItemDraftRules()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("W1 | I1");
    // Title, blank line, note: the note alone; at the top of the inbox though a working task was selected.
    s.beginCreatingNewItem("Title\n\nThe note");
    s.commitNewItem();
    QCOMPARE(h.lists(), QString("W1 | Title I1 |"));
    QCOMPARE(s.itemsByID().value(h.id("Title")).note, QString("The note"));
    QCOMPARE(s.selection(), h.task("Title"));
    QVERIFY(!s.isCreatingNewItem() && s.inputDraft().isEmpty());

    // Opening the row twice remembers the first selection; cancelling returns to it, or to the first
    // visible task when the filter now hides it.
    for (const char* filter : {"", "W1"}) {
        s.setFilterQuery("");
        h.select("I1");
        s.beginCreatingNewItem();
        s.beginCreatingNewItem("again");
        QCOMPARE(s.inputDraft(), QString("again"));
        s.setFilterQuery(filter);
        s.cancelNewItem();
        QCOMPARE(s.selection(), h.task(*filter ? "W1" : "I1"));
        QVERIFY(s.inputDraft().isEmpty());
    }
    // Opening the row closes an inline editor.
    s.beginEditingSelectedItem();
    s.beginCreatingNewItem();
    QVERIFY(!s.inlineEditState());
}

void SessionCommandsTest::inlineEditRules()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("Task|note | Other");
    const QUuid id = h.id("Task");
    // Unchanged, only trailing line feeds added or cleared: no undo step, no callback, editor closed.
    for (const char* draft : {"Task\nnote", "Task\nnote\n\n", "  Task \n\nnote\n", " \n "}) {
        s.beginEditingSelectedItem();
        s.updateInlineEditDraft(draft);
        QCOMPARE(effectOf(h, [&] { s.commitInlineEdit(); }), QString("0 0 0"));
        QVERIFY(!s.inlineEditState());
    }
    QCOMPARE(h.lists(), QString("Task | Other |"));

    // A real change replaces title and note and selects the item, though the selection moved.
    s.beginEditingSelectedItem();
    s.updateInlineEditDraft("Renamed");
    h.select("Other");
    s.commitInlineEdit();
    QCOMPARE(s.itemsByID().value(id).title, QString("Renamed"));
    QCOMPARE(s.itemsByID().value(id).note, std::nullopt);
    QCOMPARE(s.selection(), SessionSelection::task(id));

    // Deleting the edited task closes its editor; deleting another keeps it.
    s.beginEditingSelectedItem();
    h.select("Other");
    s.deleteSelectedItem();
    QCOMPARE(s.inlineEditState()->itemID, id);
    h.select("Renamed");
    s.deleteSelectedItem();
    QVERIFY(!s.inlineEditState());

    // The same letters composed differently are no change either.
    h.load({QStringView(u"Caf\u00E9|cr\u00E8me").toString()});
    s.setSelection(SessionSelection::task(s.workingItemIDs().first()));
    s.beginEditingSelectedItem();
    s.updateInlineEditDraft(QStringView(u"Cafe\u0301\ncre\u0300me").toString());
    QCOMPARE(effectOf(h, [&] { s.commitInlineEdit(); }), QString("0 0 0"));
}

void SessionCommandsTest::deleteSelectsTheRowThatTakesItsPlace()
{
    const QList<std::tuple<QStringList, QStringList, QStringList, bool, QString, QString>> cases {
        // Rows T1, T2, separator, T3, T4, separator, spacer.
        {{"T1", "T2"}, {"T3", "T4"}, {}, false, "T1", "T2"},
        {{"T1", "T2"}, {"T3", "T4"}, {}, false, "T2", "T3"},
        {{"T1", "T2"}, {"T3", "T4"}, {}, false, "T3", "T4"},
        {{"T1", "T2"}, {"T3", "T4"}, {}, false, "T4", "T3"},
        // Separators and spacers before the task do not make the selection skip the next task.
        {{}, {"A", "B", "C"}, {}, false, "A", "B"},
        {{"W"}, {"I"}, {"C1", "C2", "C3"}, false, "C1", "C2"},
        // The input row (open when the flag is set) is a stop like any task row.
        {{"W"}, {"I"}, {}, true, "W", "input"},
        {{"W"}, {"I"}, {}, true, "I", "input"},
        {{"Only"}, {}, {}, false, "Only", "none"},
        {{"Only"}, {}, {}, true, "Only", "input"},
    };
    for (const auto& [working, inbox, completed, inputOpen, deleted, expected] : cases) {
        SessionHarness h;
        h.load(working, inbox, completed);
        if (inputOpen)
            h.session.beginCreatingNewItem();
        h.select(deleted);
        h.session.deleteSelectedItem();
        QVERIFY2(h.session.selection() == h.named(expected), qPrintable("deleting " + deleted));
    }
}

void SessionCommandsTest::moveSelectionWalksSelectableRows()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"W"}, {"I"}, {"C"});
    s.beginCreatingNewItem();
    // From nothing, +1 lands on the second target and -1 on the first; at the last row, nothing.
    const QList<std::tuple<QString, int, QString>> steps {{"W", 1, "input"}, {"input", 1, "I"}, {"I", 1, "C"},
        {"C", 1, "C"}, {"C", -1, "I"}, {"none", 1, "input"}, {"none", -1, "W"}};
    for (const auto& [from, delta, to] : steps) {
        h.select(from);
        const int reveal = s.selectionRevealRevision();
        s.moveSelection(delta);
        QCOMPARE(s.selection(), h.named(to));
        QCOMPARE(s.selectionRevealRevision(), reveal + (from == to ? 0 : 1));
    }

    // No selectable rows: the default selection, without reveal.
    SessionHarness empty;
    empty.session.setSelection(SessionSelection::task(QUuid::createUuid()));
    empty.session.moveSelection(1);
    QCOMPARE(empty.session.selection(), SessionSelection::none());
    QCOMPARE(empty.session.selectionRevealRevision(), 0);
}

void SessionCommandsTest::reorderingUsesTheFullList()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"apple", "berry", "avocado"}, {"I"});

    // At the top: nothing moves, yet an undo step, a reveal and a commit happen.
    h.select("apple");
    const ObservedState before = observe(h);
    s.moveSelectedItem(-1);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"apple", "berry", "avocado"}));
    QCOMPARE(s.undoStack().size(), before.undoCount + 1);
    QCOMPARE(h.commits, before.commits + 1);
    QCOMPARE(s.selectionRevealRevision(), before.selectionRevealRevision + 1);

    // With a filter the neighbour may be hidden: the swap is in the full list.
    s.setFilterQuery("a");
    h.select("avocado");
    s.moveSelectedItem(-1);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"apple", "avocado", "berry"}));
    QCOMPARE(s.selection(), h.task("avocado"));
    s.moveSelectedItem(5); // out of range: no swap
    QCOMPARE(h.titles(TaskSection::working), QStringList({"apple", "avocado", "berry"}));
    s.moveSelectedItem(-1);
    QCOMPARE(h.rowsText(), QString("avocado apple | _ | _")); // the filter hides I

    // A drag keeps the selection unless asked to select; indices are clamped.
    s.setFilterQuery("");
    h.select("I");
    s.moveItem(h.id("avocado"), TaskSection::working, 2, true);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"apple", "berry", "avocado"}));
    QCOMPARE(s.selection(), h.task("I"));
    s.moveItem(h.id("avocado"), TaskSection::working, -7, false);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"avocado", "apple", "berry"}));
    QCOMPARE(s.selection(), h.task("avocado"));
    s.moveItem(h.id("apple"), TaskSection::working, 99, false);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"avocado", "berry", "apple"}));
    s.undo();
    QCOMPARE(h.titles(TaskSection::working), QStringList({"avocado", "apple", "berry"}));
}

void SessionCommandsTest::leavingASectionSelectsANeighbourOrFallsBack()
{
    SessionHarness h;
    auto& s = h.session;
    // Next task of the section, else the previous, else the first visible inbox, else completed task.
    const QList<std::tuple<QStringList, QStringList, QStringList, QString, QString>> cases {
        {{"W1", "W2", "W3"}, {"I1"}, {}, "W2", "W3"}, {{"W1", "W2", "W3"}, {"I1"}, {}, "W3", "W2"},
        {{"W"}, {"I1"}, {}, "W", "I1"}, {{"W"}, {}, {"C1", "C2"}, "W", "C1"}};
    for (const auto& [working, inbox, completed, completing, expected] : cases) {
        h.load(working, inbox, completed);
        h.select(completing);
        s.toggleSelectedItemCompletion();
        QCOMPARE(s.selection(), h.task(expected));
        h.scheduler.advance(1);
    }
}

void SessionCommandsTest::predicatesFollowTheirConditions()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"W1", "W2"}, {"I1"}, {"C1"});
    // Next, Pending, complete, delete, up, down: "+" allowed, "-" refused.
    const auto allowed = [&] {
        QString flags;
        for (bool b :
            {s.canMoveSelectedItemToNext(), s.canMoveSelectedItemToPending(), s.canCompleteSelectedItem(),
                s.canDeleteSelectedItem(), s.canMoveSelectedItem(-1), s.canMoveSelectedItem(1)})
            flags += b ? '+' : '-';
        return flags;
    };
    for (const auto& [selected, expected] : QList<std::pair<QString, QString>> {{"W1", "-+++-+"},
             {"W2", "-++++-"}, {"I1", "+-++--"}, {"C1", "++-+--"}, {"none", "------"}, {"input", "------"}}) {
        h.select(selected);
        QCOMPARE(allowed(), expected);
    }
    h.select("W1");
    s.setEditingBlocked(true);
    QCOMPARE(allowed(), QString("-----+")); // moving stays enabled
    s.setEditingBlocked(false);
    s.beginEditingSelectedItem();
    QCOMPARE(allowed(), QString("------"));
    s.cancelInlineEdit();
    s.toggleSelectedItemCompletion(); // W1 in preview, W2 selected
    h.select("W1");
    QCOMPARE(allowed(), QString("------"));
    h.select("W2");
    QCOMPARE(allowed(), QString("-++++-"));

    QVERIFY(!s.canReorderItem(h.id("W2"), TaskSection::working)); // a transition is in progress
    h.scheduler.advance(1);
    QVERIFY(s.canReorderItem(h.id("W2"), TaskSection::working));
    QVERIFY(!s.canReorderItem(h.id("W2"), TaskSection::inbox));
    QVERIFY(!s.canReorderItem(QUuid::createUuid(), TaskSection::working));
    s.beginEditingSelectedItem();
    QVERIFY(!s.canReorderItem(h.id("W2"), TaskSection::working));
    s.cancelInlineEdit();
    s.setEditingBlocked(true);
    QVERIFY(!s.canReorderItem(h.id("W2"), TaskSection::working));
}

QTEST_GUILESS_MAIN(SessionCommandsTest)
#include "SessionCommandsTest.moc"
