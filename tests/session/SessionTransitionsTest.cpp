#include "SessionTestSupport.h"

namespace {

// Every listed id has an item and every item is listed exactly once.
bool listsMatchItems(const SessionController& s)
{
    qsizetype listed = 0;
    for (TaskSection section : allTaskSections) {
        for (const QUuid& id : s.itemIDs(section))
            if (!s.itemsByID().contains(id) || s.sectionOf(id) != section)
                return false;
        listed += s.itemIDs(section).size();
    }
    return listed == s.itemsByID().size();
}

} // namespace

class SessionTransitionsTest : public QObject {
    Q_OBJECT

private slots:
    void completionPreviewsThenLandsOnTop();
    void twoCompletionsLandInOrder();
    void simultaneousCompletionsBothLand();
    void resetCutsOffPreviewsAndMoves();
    void finishingLandsEverythingAtOnce();
    void movesBetweenSectionsUseAShell();
    void pressesToNextWaitForASecondPress();
    void pendingMoveIsCancelledByTheListedCommands();
    void deletedTasksLeaveNothingToMove();
    void delayedStepsLeaveWhatTheUserDoesNowAlone();
    void jobsOutliveTheirSessionHarmlessly();
};

void SessionTransitionsTest::completionPreviewsThenLandsOnTop()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("A|note B | | Old");
    const QUuid a = h.id("A");
    s.beginEditingSelectedItem();
    s.toggleSelectedItemCompletion();
    QVERIFY(!s.inlineEditState());
    QCOMPARE(s.selection(), h.task("B"));
    QCOMPARE(s.undoStack().size(), 1);
    QVERIFY(!s.canCopyItem(a) && s.canCopyItem(h.id("B"))); // A is in transition

    h.scheduler.advance(0.39);
    QVERIFY(s.taskAnimations().value(a) == TaskAnimationState::completionPreview);
    QCOMPARE(h.lists(), QString("A B | | Old"));
    QVERIFY(!s.completionShell());
    QCOMPARE(h.commits, 0);
    VERIFY_REFUSED(h, "undo during the preview", s.undo());

    std::optional<CompletionShellState> shownShell;
    connect(&s, &SessionController::completionShellChanged, this, [&] {
        if (s.completionShell())
            shownShell = s.completionShell();
    });
    const int reveal = s.selectionRevealRevision();
    h.scheduler.advance(0.02); // 0.41
    QVERIFY(shownShell == (CompletionShellState {a, TaskSection::working, "A", QString("note"), true}));
    QVERIFY(s.taskAnimations().isEmpty() && !s.completionShell());
    QCOMPARE(h.lists(), QString("B | | A Old"));
    QCOMPARE(h.commits, 1);
    QCOMPARE(s.selectionRevealRevision(), reveal + 1);

    h.scheduler.advance(0.3); // 0.71
    QCOMPARE(s.completionTransitionItemID(), a);
    VERIFY_REFUSED(h, "undo after landing, before the transition ends", s.undo());
    h.scheduler.advance(0.02); // the shell appeared at 0.4, cleared at 0.72
    QVERIFY(!s.isTransitionInProgress());
    QCOMPARE(h.commits, 1);
    QVERIFY(listsMatchItems(s));

    s.undo();
    QCOMPARE(h.lists(), QString("A B | | Old"));
    QCOMPARE(s.selection(), h.task("A"));
    s.redo();
    QCOMPARE(h.lists(), QString("B | | A Old"));
    QCOMPARE(s.selection(), h.task("B"));
}

void SessionTransitionsTest::twoCompletionsLandInOrder()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("A B C");
    s.toggleSelectedItemCompletion(); // A at 0
    h.scheduler.advance(0.1);
    s.toggleSelectedItemCompletion(); // B at 0.1
    QCOMPARE(s.taskAnimations().size(), 2);
    QCOMPARE(s.selection(), h.task("C"));

    h.scheduler.advance(0.35); // 0.45: A landed at 0.4
    QCOMPARE(h.lists(), QString("B C | | A"));
    h.scheduler.advance(0.1); // 0.55: B landed at 0.5
    QCOMPARE(h.lists(), QString("C | | B A"));
    h.scheduler.advance(0.2); // 0.75: A's clearing at 0.72 found B's transition and left it
    QCOMPARE(s.completionTransitionItemID(), h.id("B"));
    h.scheduler.advance(0.1);
    QVERIFY(!s.isTransitionInProgress());
    QCOMPARE(h.commits, 2);

    // B's undo step was recorded while A was still in its preview, so undoing it brings both back;
    // A's own step then changes no list.
    s.undo();
    QCOMPARE(h.lists(), QString("A B C | |"));
    QCOMPARE(s.selection(), h.task("B"));
    s.undo();
    QCOMPARE(h.lists(), QString("A B C | |"));
    QCOMPARE(s.selection(), h.task("A"));
    s.redo();
    s.redo();
    QCOMPARE(h.lists(), QString("C | | B A"));
}

void SessionTransitionsTest::simultaneousCompletionsBothLand()
{
    // Two previews that end at the same moment reach their shell steps back to back. The second
    // shell must not drop the first task's landing.
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("A B C");
    s.toggleSelectedItemCompletion();
    s.toggleSelectedItemCompletion();
    h.scheduler.advance(0.4);
    QCOMPARE(h.lists(), QString("C | | B A"));
    QCOMPARE(h.commits, 2);
    h.scheduler.advance(0.32);
    QVERIFY(!s.isTransitionInProgress());

    // A move started between a completion's shell and its landing lets the completion land first.
    h.loadLists("A B | I");
    const QUuid a = h.id("A");
    s.toggleSelectedItemCompletion(); // A
    bool moved = false;
    connect(&s, &SessionController::completionShellChanged, this, [&] {
        if (!moved && s.completionShell() && s.completionShell()->itemID == a) {
            moved = true;
            h.select("B");
            s.toggleSelectedItemToday(); // B to the inbox, before A's landing has run
        }
    });
    h.scheduler.advance(0.4);
    QVERIFY(moved);
    QCOMPARE(h.lists(), QString("| B I | A"));
    QVERIFY(listsMatchItems(s));
}

void SessionTransitionsTest::resetCutsOffPreviewsAndMoves()
{
    // Reset during a preview, and between a move's shell and its landing: nothing lands.
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("A B");
    s.toggleSelectedItemCompletion();
    h.scheduler.advance(0.2);
    s.resetTransientState();
    h.select("A");
    s.toggleSelectedItemToday();
    QVERIFY(s.completionShell());
    s.resetTransientState();
    h.scheduler.advance(1);
    QCOMPARE(h.lists(), QString("A B | |"));
    QCOMPARE(h.commits, 0);
    QVERIFY(!s.isTransitionInProgress());
}

void SessionTransitionsTest::finishingLandsEverythingAtOnce()
{
    // Before the document closes: previews land in the order they were asked for, then the waiting
    // move, each as a committed change; the jobs left behind then do nothing.
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("A B C | I J");
    s.toggleSelectedItemCompletion(); // A
    s.toggleSelectedItemCompletion(); // B
    h.select("I");
    s.toggleSelectedItemToday();
    s.finishPendingTransitions();
    QCOMPARE(h.lists(), QString("C I | J | B A"));
    QCOMPARE(h.commits, 3);
    QVERIFY(!s.isTransitionInProgress());
    h.scheduler.advance(1);
    QCOMPARE(h.lists(), QString("C I | J | B A"));
    QCOMPARE(h.commits, 3);
    QVERIFY(listsMatchItems(s));
}

void SessionTransitionsTest::movesBetweenSectionsUseAShell()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("W1 W2 | I1 | C1|note C2");

    // Working to the inbox: shell at once, lands at the top of the inbox on the next turn.
    s.beginEditingSelectedItem();
    s.toggleSelectedItemToday();
    QVERIFY(!s.inlineEditState());
    QVERIFY(s.completionShell()
        == (CompletionShellState {h.id("W1"), TaskSection::working, "W1", std::nullopt, false}));
    QCOMPARE(s.completionTransitionItemID(), h.id("W1"));
    QCOMPARE(s.selection(), h.task("W2"));
    QCOMPARE(s.undoStack().size(), 1);
    QCOMPARE(h.commits, 0);
    h.scheduler.runDueJobs();
    QCOMPARE(h.lists(), QString("W2 | W1 I1 | C1 C2"));
    QVERIFY(!s.completionShell());
    QCOMPARE(h.commits, 1);
    h.scheduler.advance(0.32);
    QVERIFY(!s.isTransitionInProgress());

    // Completed to Next: lands at the end of the working list.
    h.select("C1");
    s.moveSelectedItemToNext();
    QVERIFY(s.completionShell()
        == (CompletionShellState {h.id("C1"), TaskSection::completed, "C1", QString("note"), false}));
    QCOMPARE(s.selection(), h.task("C2"));
    h.scheduler.runDueJobs();
    QCOMPARE(h.lists(), QString("W2 C1 | W1 I1 | C2"));
    h.scheduler.advance(0.32);

    // Undo returns each move in one step.
    s.undo();
    s.undo();
    QCOMPARE(h.lists(), QString("W1 W2 | I1 | C1 C2"));
    QVERIFY(s.inlineEditState()); // the editor was open when the first move was recorded
    QVERIFY(listsMatchItems(s));
}

void SessionTransitionsTest::pressesToNextWaitForASecondPress()
{
    SessionHarness h;
    auto& s = h.session;
    h.loadLists("W | I1 I2");

    // One press: to the end of the working list after 0.28 s, recorded then.
    h.select("I1");
    s.toggleSelectedItemToday();
    h.scheduler.advance(0.27);
    QCOMPARE(h.lists(), QString("W | I1 I2 |"));
    QCOMPARE(s.undoStack().size(), 0);
    h.scheduler.advance(0.02);
    QCOMPARE(h.lists(), QString("W I1 | I2 |"));
    QCOMPARE(s.undoStack().size(), 1);
    QCOMPARE(h.commits, 1);
    h.scheduler.advance(0.32);

    // Two presses within the wait: to the top, at the second press.
    h.select("I2");
    s.toggleSelectedItemToday();
    h.scheduler.advance(0.2);
    h.select("I2");
    s.toggleSelectedItemToday();
    QCOMPARE(s.completionShell()->itemID, h.id("I2"));
    h.scheduler.runDueJobs();
    QCOMPARE(h.lists(), QString("I2 W I1 | |"));
    h.scheduler.advance(1);
    QCOMPARE(s.undoStack().size(), 2);
    QCOMPARE(h.commits, 2);

    // X then Y within the wait: only Y moves, at its own time.
    h.loadLists(" | X Y");
    h.select("X");
    s.toggleSelectedItemToday();
    h.scheduler.advance(0.1);
    h.select("Y");
    s.toggleSelectedItemToday();
    h.scheduler.advance(0.2); // X's time has passed
    QCOMPARE(h.lists(), QString("| X Y |"));
    h.scheduler.advance(0.1); // past Y's time
    QCOMPARE(h.lists(), QString("Y | X |"));
    h.scheduler.advance(1);
    QCOMPARE(s.undoStack().size(), 1);
}

void SessionTransitionsTest::pendingMoveIsCancelledByTheListedCommands()
{
    SessionHarness h;
    auto& s = h.session;
    const std::vector<std::pair<const char*, std::function<void()>>> cancellers {
        {"undo", [&] { s.undo(); }},
        {"redo", [&] { s.redo(); }},
        {"loadDocument", [&] { s.loadDocument(s.committedDocument()); }},
        {"resetTransientState", [&] { s.resetTransientState(); }},
        {"today on a working task", [&] { h.select("W"), s.toggleSelectedItemToday(); }},
        {"Next on a completed task", [&] { h.select("C"), s.moveSelectedItemToNext(); }},
    };
    for (const auto& [name, cancel] : cancellers) {
        h.loadLists("W | I | C");
        h.select("I");
        s.toggleSelectedItemToday();
        cancel();
        h.scheduler.advance(1);
        QVERIFY2(s.sectionOf(h.id("I")) == TaskSection::inbox, name);
    }

    // Undo within the wait with an empty undo stack: the task stays, nothing else changes.
    h.loadLists("W | I");
    h.select("I");
    s.toggleSelectedItemToday();
    ObservedState before = observe(h);
    s.undo();
    s.redo();
    h.scheduler.advance(1);
    before.pendingJobs = 0;
    VERIFY_UNCHANGED(h, before, "undo and redo with a pending move and nothing recorded");

    // Commands that are not listed leave it pending.
    h.select("I");
    s.toggleSelectedItemToday();
    s.beginCreatingNewItem("x");
    s.commitNewItem();
    s.setFilterQuery("I");
    s.moveSelection(1);
    h.scheduler.advance(0.28);
    QCOMPARE(h.lists(), QString("W I | x |"));
}

void SessionTransitionsTest::deletedTasksLeaveNothingToMove()
{
    SessionHarness h;
    auto& s = h.session;

    // Deleted while its move is pending: the job finds nothing and records nothing.
    h.loadLists("W | I J");
    h.select("I");
    s.toggleSelectedItemToday();
    h.select("I");
    s.deleteSelectedItem();
    ObservedState before = observe(h);
    h.scheduler.advance(1);
    before.pendingJobs = 0;
    VERIFY_UNCHANGED(h, before, "pending move of a deleted task");

    // Deleted while its shell is shown: the landing lists no id without a task.
    h.loadLists("W1 W2 | I");
    s.toggleSelectedItemToday(); // W1 leaves for the inbox
    h.select("W1");
    s.deleteSelectedItem();
    h.scheduler.runDueJobs();
    QVERIFY(listsMatchItems(s));
    QCOMPARE(h.lists(), QString("W2 | I |"));
    QVERIFY(!s.completionShell());
    h.scheduler.advance(0.32);
    QVERIFY(!s.isTransitionInProgress());

    // The same for a completion whose task is deleted between its shell and its landing.
    h.loadLists("A B");
    const QUuid a = h.id("A");
    s.toggleSelectedItemCompletion();
    connect(&s, &SessionController::completionShellChanged, this, [&] {
        if (s.completionShell() && s.completionShell()->itemID == a) {
            s.setSelection(SessionSelection::task(a));
            s.deleteSelectedItem();
        }
    });
    h.scheduler.advance(0.4);
    QVERIFY(listsMatchItems(s));
    QCOMPARE(h.lists(), QString("B | |"));
    s.undo();
    QVERIFY(s.isTransitionInProgress()); // until the clearing
    h.scheduler.advance(0.32);
    s.undo(); // the deletion
    QCOMPARE(h.lists(), QString("A B | |"));
}

void SessionTransitionsTest::delayedStepsLeaveWhatTheUserDoesNowAlone()
{
    // A command on I1, then something else within its delay; the state once every delay has passed.
    SessionHarness h;
    auto& s = h.session;
    const std::function<void()> today = [&] { s.toggleSelectedItemToday(); };
    const std::function<void()> complete = [&] { s.toggleSelectedItemCompletion(); };
    const auto edit = [&](const char* title, const char* draft) {
        h.select(title);
        s.beginEditingSelectedItem();
        s.updateInlineEditDraft(draft);
    };
    const auto typeNew = [&] {
        s.beginCreatingNewItem();
        s.setInputDraft("ab");
    };
    struct Case {
        const char* name;
        std::function<void()> command;
        std::function<void()> meanwhile;
        const char* lists;
        const char* selection;
        const char* editing;
        double at = 0.1; // seconds after the command
    };
    const std::vector<Case> cases {
        {"the selection follows the moved task", today, [] {}, "W I1 | I2 |", "I2", ""},
        {"another task selected", today, [&] { h.select("W"); }, "W I1 | I2 |", "W", ""},
        {"typing a new task", today, typeNew, "W I1 | I2 |", "input", "input:ab"},
        {"editing another task", today, [&] { edit("W", "W2"); }, "W I1 | I2 |", "W", "edit:W:W2"},
        // The edit wins over the move, which would drop it.
        {"editing the moving task", today, [&] { edit("I1", "I9"); }, "W | I1 I2 |", "I1", "edit:I1:I9"},
        {"editing the next task during a completion", complete, [&] { edit("I2", "I9"); }, "W | I2 | I1",
            "I2", "edit:I2:I9"},
        // A new task may be started while one is on its way.
        {"typing a new task during a completion", complete, typeNew, "W | I2 | I1", "input", "input:ab"},
        {"typing a new task as the move lands", today, typeNew, "W I1 | I2 |", "input", "input:ab", 0.3},
    };
    for (const Case& c : cases) {
        h.loadLists("W | I1 I2");
        h.select("I1");
        c.command();
        h.scheduler.advance(c.at);
        c.meanwhile();
        h.scheduler.advance(2);
        QString editing;
        if (s.isCreatingNewItem())
            editing = "input:" + s.inputDraft();
        else if (const auto& state = s.inlineEditState())
            editing = "edit:" + s.itemsByID().value(state->itemID).title + ":" + state->draftText;
        QVERIFY2(h.lists() == c.lists, qPrintable(QString(c.name) + ": " + h.lists()));
        QVERIFY2(s.selection() == h.named(c.selection), c.name);
        QVERIFY2(editing == c.editing, qPrintable(QString(c.name) + ": " + editing));
        QVERIFY2(listsMatchItems(s) && !s.isTransitionInProgress(), c.name);
    }
}

void SessionTransitionsTest::jobsOutliveTheirSessionHarmlessly()
{
    SessionHarness h;
    h.loadLists("A B | I");
    h.session.toggleSelectedItemCompletion();
    h.select("I");
    h.session.toggleSelectedItemToday();
    QVERIFY(h.scheduler.pendingCount() >= 2);
    h.owned.reset();
    QCOMPARE(h.scheduler.pendingCount(), 0);
    h.scheduler.advance(2);
    QCOMPARE(h.commits, 0);
}

QTEST_GUILESS_MAIN(SessionTransitionsTest)
#include "SessionTransitionsTest.moc"
