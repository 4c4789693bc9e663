#include "SessionTestSupport.h"

class SessionStateTest : public QObject {
    Q_OBJECT

private slots:
    void freshSessionHasInitialValues();
    void parseTaskTextNormalisesLinesAndBlanks_data();
    void parseTaskTextNormalisesLinesAndBlanks();
    void editableTextJoinsTitleAndNote();
    void loadGivesFreshIdsInFileOrder();
    void loadChoosesDefaultSelection();
    void loadReplacesEverythingButFilterBlockAndReveal();
    void committedDocumentRoundTrips();
    void documentIncludingEditsAddsParseableDrafts();
    void undoRedoRestoreWhatWasRecorded();
    void undoingCommittedEditsReopensTheirEditors();
    void undoWithEmptyStackOnlyCancelsPendingMove();
    void undoAndRedoRefusedWhileBlockedOrInTransition();
    void restoreSnapshotKeepsStoredSelectionUnderFilter();
    void resetTransientStateClosesEditorsAndStopsTransitions();
    void transitionAndEditingQueries();
    void notificationsFollowEveryAssignmentOncePerOperation();
};

void SessionStateTest::freshSessionHasInitialValues()
{
    ManualScheduler scheduler;
    SessionController session(&scheduler);
    QVERIFY(!session.onCommittedChange);
    QVERIFY(session.itemsByID().isEmpty());
    for (TaskSection section : allTaskSections)
        QVERIFY(session.itemIDs(section).isEmpty());
    QVERIFY(session.taskAnimations().isEmpty());
    QVERIFY(!session.completionShell());
    QVERIFY(!session.completionTransitionItemID());
    QCOMPARE(session.selectionRevealRevision(), 0);
    QCOMPARE(session.inputDraft(), QString());
    QVERIFY(!session.isCreatingNewItem());
    QCOMPARE(session.selection(), SessionSelection::none());
    QVERIFY(!session.inlineEditState());
    QVERIFY(!session.editingBlocked());
    QCOMPARE(session.filterQuery(), QString());
    QVERIFY(session.undoStack().isEmpty());
    QVERIFY(session.redoStack().isEmpty());
    QVERIFY(!session.selectionBeforeCreatingNewItem());
    QVERIFY(!session.pendingTodayToggleCommand());
    QCOMPARE(session.committedDocument(), VeskDocument::empty());
    QCOMPARE(session.defaultSelection(), SessionSelection::none());
}

void SessionStateTest::parseTaskTextNormalisesLinesAndBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("hasNote");
    QTest::addColumn<QString>("note");

    QTest::newRow("title only") << "Buy milk" << true << "Buy milk" << false << "";
    QTest::newRow("padded title, blank line, padded note, final line feed")
        << "  Call Ann  \n\n  bring the list  \n"
        << true << "Call Ann" << true << "  bring the list  ";
    QTest::newRow("leading CR LF makes no task") << "\r\nTitle\nnote" << false << "" << false << "";
    QTest::newRow("CR LF and lone CR") << "first\r\nsecond\r" << true << "first" << true << "second";
    QTest::newRow("blank title") << " \t \nnote" << false << "" << false << "";
    QTest::newRow("empty") << "" << false << "" << false << "";
    QTest::newRow("only line feeds after title") << "Title\n\n\n" << true << "Title" << false << "";
    QTest::newRow("inner blank lines of the note stay") << "T\na\n\nb" << true << "T" << true << "a\n\nb";
    QTest::newRow("lone CRs split lines") << "T\rn1\rn2" << true << "T" << true << "n1\nn2";
    QTest::newRow("spaces-only note is kept") << "T\n   " << true << "T" << true << "   ";
}

void SessionStateTest::parseTaskTextNormalisesLinesAndBlanks()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<ParsedTaskText> parsed = parseTaskText(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QFETCH(QString, title);
    QFETCH(bool, hasNote);
    QFETCH(QString, note);
    QCOMPARE(parsed->title, title);
    QCOMPARE(parsed->note.has_value(), hasNote);
    if (hasNote)
        QCOMPARE(*parsed->note, note);
    QCOMPARE(parsed->normalizedText, hasNote ? title + QLatin1Char('\n') + note : title);
    // The normalised text is a fixed point.
    QCOMPARE(parseTaskText(parsed->normalizedText), parsed);
}

void SessionStateTest::editableTextJoinsTitleAndNote()
{
    QCOMPARE(editableText(SessionItem {QUuid::createUuid(), "T", std::nullopt}), QString("T"));
    QCOMPARE(editableText(SessionItem {QUuid::createUuid(), "T", QString()}), QString("T"));
    QCOMPARE(editableText(SessionItem {QUuid::createUuid(), "T", QString("a\nb")}), QString("T\na\nb"));
}

void SessionStateTest::loadGivesFreshIdsInFileOrder()
{
    SessionHarness h;
    h.load({"Same", "Same"}, {"In"}, {"Done"});
    const QList<QUuid> working = h.session.workingItemIDs();
    QCOMPARE(working.size(), 2);
    QVERIFY(working[0] != working[1]);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"Same", "Same"}));
    QCOMPARE(h.session.itemsByID().size(), 4);
    for (const SessionItem& item : h.session.itemsByID()) {
        QCOMPARE(h.session.itemsByID().value(item.id).id, item.id);
        QCOMPARE(item.id.version(), QUuid::Random);
        QCOMPARE(item.id.variant(), QUuid::DCE);
    }

    // Loading again makes new ids for the same tasks.
    const QUuid before = h.id("In");
    h.load({"Same", "Same"}, {"In"}, {"Done"});
    QVERIFY(h.id("In") != before);
    QCOMPARE(h.session.sectionOf(h.id("Done")), TaskSection::completed);
    QCOMPARE(h.session.sectionOf(before), std::nullopt);
}

void SessionStateTest::loadChoosesDefaultSelection()
{
    SessionHarness h;
    h.load({"W1", "W2"}, {"I1"}, {"C1"});
    QCOMPARE(h.session.selection(), h.task("W1"));
    h.load({}, {"I1", "I2"}, {"C1"});
    QCOMPARE(h.session.selection(), h.task("I1"));
    h.load({}, {}, {"C1"});
    QCOMPARE(h.session.selection(), h.task("C1"));
    h.load({});
    QCOMPARE(h.session.selection(), SessionSelection::none());

    // The default selection follows the filter.
    h.session.setFilterQuery("two");
    h.load({"one"}, {"two"}, {});
    QCOMPARE(h.session.selection(), h.task("two"));
    h.session.setFilterQuery("nothing matches");
    h.load({"one"}, {"two"}, {});
    QCOMPARE(h.session.selection(), SessionSelection::none());
}

void SessionStateTest::loadReplacesEverythingButFilterBlockAndReveal()
{
    SessionHarness h;
    h.load({"A", "B"}, {"C"});
    h.session.beginCreatingNewItem("draft");
    h.session.commitNewItem();
    h.session.beginCreatingNewItem("open");
    h.select("C");
    h.session.toggleSelectedItemToday(); // pending move of C
    h.select("A");
    h.session.toggleSelectedItemCompletion(); // A in preview
    h.session.setFilterQuery(" ");
    const int reveal = h.session.selectionRevealRevision();
    h.session.setEditingBlocked(true);
    const int commits = h.commits;

    h.load({"X"}, {"Y"});
    QCOMPARE(h.titles(TaskSection::working), QStringList({"X"}));
    QCOMPARE(h.titles(TaskSection::inbox), QStringList({"Y"}));
    QVERIFY(h.titles(TaskSection::completed).isEmpty());
    QCOMPARE(h.session.inputDraft(), QString());
    QVERIFY(!h.session.isCreatingNewItem());
    QVERIFY(!h.session.inlineEditState());
    QCOMPARE(h.session.selection(), h.task("X"));
    QVERIFY(!h.session.isTransitionInProgress());
    QVERIFY(h.session.undoStack().isEmpty());
    QVERIFY(h.session.redoStack().isEmpty());
    QVERIFY(!h.session.selectionBeforeCreatingNewItem());
    QVERIFY(!h.session.pendingTodayToggleCommand());
    QCOMPARE(h.session.filterQuery(), QString(" "));
    QVERIFY(h.session.editingBlocked());
    QCOMPARE(h.session.selectionRevealRevision(), reveal);
    QCOMPARE(h.commits, commits);

    // The cut-off preview and the cancelled move do nothing later.
    h.scheduler.advance(2);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"X"}));
    QCOMPARE(h.titles(TaskSection::inbox), QStringList({"Y"}));
    QCOMPARE(h.commits, commits);
}

void SessionStateTest::committedDocumentRoundTrips()
{
    SessionHarness h;
    const VeskDocument document {SessionHarness::tasks({"W|note\nmore", "W2"}), SessionHarness::tasks({"I"}),
        SessionHarness::tasks({"C1", "C2|n"})};
    h.session.loadDocument(document);
    QCOMPARE(h.session.committedDocument(), document);
    QCOMPARE(h.session.documentIncludingEdits(), document);
    QCOMPARE(h.commits, 0);
    QCOMPARE(h.session.undoStack().size(), 0);
}

void SessionStateTest::documentIncludingEditsAddsParseableDrafts()
{
    SessionHarness h;
    h.load({"W1", "W2"}, {"I1"});
    const VeskDocument committed = h.session.committedDocument();

    h.select("W2");
    h.session.beginEditingSelectedItem();
    h.session.updateInlineEditDraft("   ");
    QCOMPARE(h.session.documentIncludingEdits(), committed);

    h.session.updateInlineEditDraft("Renamed\n\nwith note\n");
    VeskDocument expected = committed;
    expected.workingItems[1] = VeskTask {"Renamed", QString("with note")};
    QCOMPARE(h.session.documentIncludingEdits(), expected);

    h.session.setInputDraft("x");
    QCOMPARE(h.session.documentIncludingEdits(), expected); // input row not open
    h.session.beginCreatingNewItem("x");
    QVERIFY(!h.session.inlineEditState()); // opening the input row closes the editor
    expected = committed;
    expected.inboxItems.prepend(VeskTask {"x", std::nullopt});
    QCOMPARE(h.session.documentIncludingEdits(), expected);
    QCOMPARE(h.session.committedDocument(), committed);

    h.session.setInputDraft(" \n ");
    QCOMPARE(h.session.documentIncludingEdits(), committed);
}

void SessionStateTest::undoRedoRestoreWhatWasRecorded()
{
    SessionHarness h;
    h.load({"A", "B"}, {"C"});
    const SessionSnapshot s0 = h.session.captureSnapshot();
    h.select("A");
    h.session.moveSelectedItem(1); // B A
    const SessionSnapshot s1 = h.session.captureSnapshot();
    h.session.deleteSelectedItem(); // B
    h.session.beginCreatingNewItem("D");
    // Redo returns to the state undo left, which still had the input row open.
    const SessionSnapshot s2 = h.session.captureSnapshot();
    h.session.commitNewItem(); // inbox D C
    const SessionSnapshot s3 = h.session.captureSnapshot();
    QCOMPARE(h.session.undoStack().size(), 3);
    QCOMPARE(h.commits, 3);

    h.session.undo();
    h.session.undo();
    h.session.undo();
    QCOMPARE(h.session.captureSnapshot().itemsByID, s0.itemsByID);
    QCOMPARE(h.session.captureSnapshot().workingItemIDs, s0.workingItemIDs);
    QCOMPARE(h.session.undoStack().size(), 0);
    QCOMPARE(h.session.redoStack().size(), 3);
    QCOMPARE(h.commits, 6);

    h.session.redo();
    QCOMPARE(h.session.redoStack().size(), 2);
    QCOMPARE(h.session.undoStack().size(), 1);
    QCOMPARE(h.session.captureSnapshot(), s1);
    h.session.redo();
    QCOMPARE(h.session.captureSnapshot(), s2);
    h.session.redo();
    QCOMPARE(h.session.captureSnapshot(), s3);
    h.session.redo(); // empty redo stack: nothing
    QCOMPARE(h.commits, 9);
    QCOMPARE(h.session.captureSnapshot(), s3);

    // A new commit after undoing empties the redo stack.
    h.session.undo();
    h.session.undo();
    QCOMPARE(h.session.redoStack().size(), 2);
    h.select("B");
    h.session.moveSelectedItem(0);
    QVERIFY(h.session.redoStack().isEmpty());
    QCOMPARE(h.session.undoStack().size(), 2);
    // Undo and redo reveal nothing and keep the filter.
    const int reveal = h.session.selectionRevealRevision();
    h.session.undo();
    h.session.redo();
    QCOMPARE(h.session.selectionRevealRevision(), reveal);
}

void SessionStateTest::undoingCommittedEditsReopensTheirEditors()
{
    SessionHarness h;
    h.load({"Old|old note"});
    const QUuid id = h.id("Old");
    h.session.beginEditingSelectedItem();
    QCOMPARE(h.session.inlineEditState()->originalText, QString("Old\nold note"));
    h.session.updateInlineEditDraft("New\nnew note");
    h.session.commitInlineEdit();
    QVERIFY(!h.session.inlineEditState());
    QCOMPARE(h.session.itemsByID().value(id).title, QString("New"));

    h.session.undo();
    QCOMPARE(h.session.itemsByID().value(id).title, QString("Old"));
    QCOMPARE(h.session.itemsByID().value(id).note, QString("old note"));
    QVERIFY(h.session.inlineEditState());
    QCOMPARE(h.session.inlineEditState()->itemID, id);
    QCOMPARE(h.session.inlineEditState()->draftText, QString("New\nnew note"));
    QCOMPARE(h.session.inlineEditState()->originalText, QString("Old\nold note"));
    QVERIFY(h.session.isTextEditingActive());

    h.session.redo();
    QVERIFY(!h.session.inlineEditState());
    QCOMPARE(h.session.itemsByID().value(id).title, QString("New"));

    // Undoing a committed new item brings the input row back with its text.
    h.session.beginCreatingNewItem("Fresh\nnote");
    h.session.commitNewItem();
    QVERIFY(!h.session.isCreatingNewItem());
    h.session.undo();
    QVERIFY(h.session.isCreatingNewItem());
    QCOMPARE(h.session.inputDraft(), QString("Fresh\nnote"));
    QCOMPARE(h.session.selection(), SessionSelection::input());
    QCOMPARE(h.session.itemsByID().size(), 1);
    QVERIFY(!h.session.selectionBeforeCreatingNewItem());
}

void SessionStateTest::undoWithEmptyStackOnlyCancelsPendingMove()
{
    SessionHarness h;
    h.load({"W"}, {"I"});
    h.select("I");
    h.session.toggleSelectedItemToday();
    QVERIFY(h.session.pendingTodayToggleCommand());
    ObservedState before = observe(h);
    h.session.undo();
    before.pendingTodayItemID.reset();
    VERIFY_UNCHANGED(h, before);
    h.scheduler.advance(1);
    QCOMPARE(h.titles(TaskSection::inbox), QStringList({"I"}));
    VERIFY_UNCHANGED(h, before);

    h.session.redo();
    VERIFY_UNCHANGED(h, before);
}

void SessionStateTest::undoAndRedoRefusedWhileBlockedOrInTransition()
{
    SessionHarness h;
    h.load({"A", "B"}, {"I"});
    h.select("A");
    h.session.moveSelectedItem(1);
    h.session.undo();

    // Blocked: not even a pending move is cancelled.
    h.select("I");
    h.session.toggleSelectedItemToday();
    h.session.setEditingBlocked(true);
    ObservedState before = observe(h);
    h.session.undo();
    h.session.redo();
    VERIFY_UNCHANGED(h, before);
    h.session.setEditingBlocked(false);
    h.scheduler.advance(0.28);
    h.scheduler.advance(0.32);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"A", "B", "I"}));

    // During a completion preview undo only cancels the pending move.
    h.select("A");
    h.session.toggleSelectedItemCompletion();
    h.select("B");
    h.session.moveSelectedItemToPending(); // B: working task, moves at once (shell)
    before = observe(h);
    h.session.undo();
    h.session.redo();
    VERIFY_UNCHANGED(h, before);
}

void SessionStateTest::restoreSnapshotKeepsStoredSelectionUnderFilter()
{
    SessionHarness h;
    h.load({"apple", "berry"});
    h.select("berry");
    const SessionSnapshot snapshot = h.session.captureSnapshot();
    h.session.setFilterQuery("apple");
    QCOMPARE(h.session.selection(), h.task("apple"));
    h.session.restoreSnapshot(snapshot);
    QCOMPARE(h.session.selection(), h.task("berry")); // installed as stored, though hidden
    QCOMPARE(h.commits, 0);
}

void SessionStateTest::resetTransientStateClosesEditorsAndStopsTransitions()
{
    SessionHarness h;
    h.load({"A", "B"}, {"I"});
    h.session.beginCreatingNewItem("draft");
    h.select("A");
    h.session.toggleSelectedItemCompletion(); // preview
    h.session.beginEditingItem(h.id("B"));
    h.select("I");
    h.session.toggleSelectedItemToday(); // pending
    QVERIFY(h.session.isCreatingNewItem() && h.session.inlineEditState()
        && h.session.pendingTodayToggleCommand());
    const ObservedState before = observe(h);

    h.session.resetTransientState();
    QVERIFY(!h.session.isCreatingNewItem());
    QVERIFY(!h.session.inlineEditState());
    QCOMPARE(h.session.inputDraft(), QString());
    QVERIFY(!h.session.isTransitionInProgress());
    QVERIFY(!h.session.pendingTodayToggleCommand());
    QVERIFY(!h.session.selectionBeforeCreatingNewItem());
    QCOMPARE(h.session.selection(), h.task("A"));
    QCOMPARE(h.session.undoStack().size(), before.undoCount);
    QCOMPARE(h.session.captureSnapshot().itemsByID, before.snapshot.itemsByID);
    QCOMPARE(h.session.selectionRevealRevision(), before.selectionRevealRevision);

    // The preview was cut off: A stays uncompleted, I stays in the inbox, nothing is committed.
    h.scheduler.advance(2);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"A", "B"}));
    QCOMPARE(h.titles(TaskSection::inbox), QStringList({"I"}));
    QCOMPARE(h.commits, before.commits);
    // Its undo step stays and still works.
    h.session.undo();
    QCOMPARE(h.session.selection(), h.task("A"));
    QCOMPARE(h.session.undoStack().size(), before.undoCount - 1);
}

void SessionStateTest::transitionAndEditingQueries()
{
    SessionHarness h;
    h.load({"A", "B"});
    const QUuid a = h.id("A");
    QVERIFY(!h.session.isTransitionInProgress());
    QVERIFY(!h.session.isItemInTransition(a));
    h.session.toggleSelectedItemCompletion();
    QVERIFY(h.session.isTransitionInProgress());
    QVERIFY(h.session.isItemInTransition(a));
    QVERIFY(!h.session.isItemInTransition(h.id("B")));
    h.scheduler.advance(0.4);
    // Landed: only the transition id remains.
    QVERIFY(!h.session.completionShell());
    QCOMPARE(h.session.completionTransitionItemID(), a);
    QVERIFY(h.session.isItemInTransition(a));
    h.scheduler.advance(0.32);
    QVERIFY(!h.session.isTransitionInProgress());

    QVERIFY(!h.session.isTextEditingActive());
    h.session.beginCreatingNewItem();
    QVERIFY(h.session.isTextEditingActive());
    h.session.cancelNewItem();
    h.session.beginEditingSelectedItem();
    QVERIFY(h.session.isTextEditingActive());
    QCOMPARE(h.session.itemIDs(TaskSection::completed), QList<QUuid>({a}));
}

void SessionStateTest::notificationsFollowEveryAssignmentOncePerOperation()
{
    SessionHarness h;
    h.load({"A", "B"}, {"C"});
    QSignalSpy selection(&h.session, &SessionController::selectionChanged);
    QSignalSpy blocked(&h.session, &SessionController::editingBlockedChanged);
    QSignalSpy working(&h.session, &SessionController::workingItemIDsChanged);
    const int notifications = h.notifications;

    // Assigning the same value still notifies.
    h.session.setSelection(h.session.selection());
    QCOMPARE(selection.count(), 1);
    h.session.setEditingBlocked(false);
    QCOMPARE(blocked.count(), 1);
    QCOMPARE(h.notifications, notifications + 2);

    // Observers see a whole command: when the lists notify, the item is gone from the map too and
    // the selection has moved on; the committed-change callback comes after the notifications.
    bool consistent = false;
    int commitsSeenBySlot = -1;
    connect(&h.session, &SessionController::workingItemIDsChanged, this, [&] {
        consistent = h.session.itemsByID().size() == 2 && h.session.workingItemIDs().size() == 1
            && h.session.selection() == h.task("B");
        commitsSeenBySlot = h.commits;
    });
    h.select("A");
    const int commits = h.commits;
    const int before = h.notifications;
    h.session.deleteSelectedItem();
    QVERIFY(consistent);
    QCOMPARE(commitsSeenBySlot, commits);
    QCOMPARE(h.commits, commits + 1);
    QCOMPARE(h.notifications, before + 1);
    QCOMPARE(working.count(), 1);

    // Property system access matches the getters.
    QCOMPARE(h.session.property("selection").value<SessionSelection>(), h.task("B"));
    QVERIFY(h.session.setProperty("filterQuery", QString("zzz")));
    QCOMPARE(h.session.filterQuery(), QString("zzz"));
}

QTEST_GUILESS_MAIN(SessionStateTest)
#include "SessionStateTest.moc"
