#include "FakePasteboard.h"
#include "SessionTestSupport.h"

#include <QRandomGenerator>

class SessionStateTest : public QObject {
    Q_OBJECT

private slots:
    void parseTaskTextNormalisesLinesAndBlanks();
    void loadReplacesEverythingButFilterBlockAndReveal();
    void documentIncludingEditsAddsParseableDrafts();
    void undoRedoRestoreWhatWasRecorded();
    void undoRedoRestoreEveryStateOfALongRun();
    void undoHistoryRestoresListsHoweverTheyChanged();
    void undoReopensTheInputRowAndTheInlineEditor();
    void undoAndRedoRefusedWhileBlockedOrInTransition();
    void resetTransientStateClosesEditorsAndStopsTransitions();
};

void SessionStateTest::parseTaskTextNormalisesLinesAndBlanks()
{
    // Typed text and its normal form, "" when it makes no task.
    const QList<std::pair<QString, QString>> cases {{"Buy milk", "Buy milk"},
        {"  Call Ann  \n\n  bring the list  \n", "Call Ann\n  bring the list  "}, {"\r\nTitle\nnote", ""},
        {"first\r\nsecond\r", "first\nsecond"}, {" \t \nnote", ""}, {"", ""}, {"Title\n\n\n", "Title"},
        {"T\na\n\nb", "T\na\n\nb"}, {"T\rn1\rn2", "T\nn1\nn2"}, {"T\n   ", "T\n   "}};
    for (const auto& [text, normalized] : cases) {
        const std::optional<ParsedTaskText> parsed = parseTaskText(text);
        QVERIFY2(parsed.has_value() == !normalized.isEmpty(), qPrintable(text));
        if (!parsed)
            continue;
        QCOMPARE(parsed->normalizedText, normalized);
        const qsizetype lineEnd = normalized.indexOf('\n');
        QCOMPARE(parsed->title, normalized.left(lineEnd));
        QCOMPARE(parsed->note, lineEnd < 0 ? std::nullopt : std::optional(normalized.mid(lineEnd + 1)));
        QCOMPARE(parseTaskText(parsed->normalizedText), parsed); // a fixed point
        QCOMPARE(editableText(SessionItem {QUuid::createUuid(), parsed->title, parsed->note}), normalized);
    }
}

void SessionStateTest::loadReplacesEverythingButFilterBlockAndReveal()
{
    SessionHarness h;
    auto& s = h.session;
    // Fresh ids in file order, even for equal titles; new ones on every load.
    h.load({"Same", "Same"}, {"In"}, {"Done"});
    QCOMPARE(h.titles(TaskSection::working), QStringList({"Same", "Same"}));
    QVERIFY(s.workingItemIDs()[0] != s.workingItemIDs()[1]);
    QCOMPARE(s.itemsByID().size(), 4);
    const QUuid in = h.id("In");
    h.load({"Same", "Same"}, {"In"}, {"Done"});
    QVERIFY(h.id("In") != in && !s.sectionOf(in));
    // Random (version 4, RFC 4122 variant) UUIDs, unique over many tasks and across loads.
    const VeskDocument many {{}, QList<VeskTask>(50000, VeskTask {"t", std::nullopt}), {}};
    QSet<QUuid> seen;
    for (int load = 0; load < 2; ++load) {
        s.loadDocument(many);
        for (const QUuid& id : s.inboxItemIDs()) {
            QVERIFY(id.version() == QUuid::Random && id.variant() == QUuid::DCE);
            seen.insert(id);
        }
    }
    QCOMPARE(seen.size(), 2 * many.inboxItems.size());

    // The default selection: first working, else inbox, else completed task, following the filter.
    const QList<std::tuple<QStringList, QStringList, QStringList, QString, QString>> defaults {
        {{"W1", "W2"}, {"I1"}, {"C1"}, "", "W1"}, {{}, {"I1", "I2"}, {"C1"}, "", "I1"},
        {{}, {}, {"C1"}, "", "C1"}, {{}, {}, {}, "", "none"}, {{"one"}, {"two"}, {}, "two", "two"},
        {{"one"}, {"two"}, {}, "nothing matches", "none"}};
    for (const auto& [working, inbox, completed, filter, expected] : defaults) {
        s.setFilterQuery(filter);
        h.load(working, inbox, completed);
        QCOMPARE(s.selection(), h.named(expected));
    }

    h.load({"A", "B"}, {"C"});
    s.beginCreatingNewItem("draft");
    s.commitNewItem();
    s.beginCreatingNewItem("open");
    h.select("C");
    s.toggleSelectedItemToday(); // pending move of C
    h.select("A");
    s.toggleSelectedItemCompletion(); // A in preview
    s.setFilterQuery(" ");
    s.setEditingBlocked(true);
    const ObservedState before = observe(h);

    h.load({"X"}, {"Y"});
    const SessionSnapshot after = h.snapshot();
    QCOMPARE(h.titles(TaskSection::working), QStringList({"X"}));
    QCOMPARE(h.titles(TaskSection::inbox), QStringList({"Y"}));
    QVERIFY(after.completedItemIDs.isEmpty());
    QVERIFY(after.inputDraft.isEmpty() && !after.isCreatingNewItem && !after.inlineEditState);
    QCOMPARE(s.selection(), h.task("X"));
    QVERIFY(!s.isTransitionInProgress());
    QVERIFY(s.undoStack().isEmpty() && s.redoStack().isEmpty());
    QCOMPARE(s.filterQuery(), QString(" "));
    QVERIFY(s.editingBlocked());
    QCOMPARE(s.selectionRevealRevision(), before.selectionRevealRevision);
    // The cut-off preview and the cancelled move do nothing later.
    h.scheduler.advance(2);
    QCOMPARE(h.snapshot(), after);
    QCOMPARE(h.commits, before.commits);
}

void SessionStateTest::documentIncludingEditsAddsParseableDrafts()
{
    SessionHarness h;
    const VeskDocument committed {SessionHarness::tasks({"W1|note\nmore", "W2"}),
        SessionHarness::tasks({"I1"}), SessionHarness::tasks({"C1", "C2|n"})};
    h.session.loadDocument(committed);
    QCOMPARE(h.session.committedDocument(), committed);
    QCOMPARE(h.session.documentIncludingEdits(), committed);

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
    h.session.setInputDraft(" \n ");
    QCOMPARE(h.session.documentIncludingEdits(), committed);
    QCOMPARE(h.session.committedDocument(), committed);
    QCOMPARE(h.commits, 0);
}

void SessionStateTest::undoRedoRestoreWhatWasRecorded()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"A", "B"}, {"C"});
    QList<SessionSnapshot> states {h.snapshot()};
    h.select("A");
    s.moveSelectedItem(1); // B A
    states << h.snapshot();
    s.deleteSelectedItem(); // B
    s.beginCreatingNewItem("D");
    states << h.snapshot(); // redo returns to the state undo left, input row open
    s.commitNewItem(); // inbox D C
    states << h.snapshot();
    QCOMPARE(h.commits, 3);

    for (int i = 2; i >= 0; --i)
        s.undo();
    QCOMPARE(h.snapshot().itemsByID, states[0].itemsByID);
    QCOMPARE(h.snapshot().workingItemIDs, states[0].workingItemIDs);
    QCOMPARE(s.redoStack().size(), 3);
    for (int i = 1; i <= 3; ++i) {
        s.redo();
        QCOMPARE(h.snapshot(), states[i]);
        QCOMPARE(s.undoStack().size(), i);
    }
    s.redo(); // empty redo stack: nothing
    QCOMPARE(h.snapshot(), states[3]);
    QCOMPARE(h.commits, 9);

    // A new commit after undoing empties the redo stack; undo and redo reveal nothing.
    s.undo();
    s.undo();
    h.select("B");
    s.moveSelectedItem(0);
    QVERIFY(s.redoStack().isEmpty());
    QCOMPARE(s.undoStack().size(), 2);
    const int reveal = s.selectionRevealRevision();
    s.undo();
    s.redo();
    QCOMPARE(s.selectionRevealRevision(), reveal);

    // Undo installs the recorded selection as stored, though the filter now hides it.
    h.load({"apple", "berry"});
    h.select("berry");
    s.moveSelectedItem(0);
    s.setFilterQuery("apple");
    QCOMPARE(s.selection(), h.task("apple"));
    s.undo();
    QCOMPARE(s.selection(), h.task("berry"));
}

void SessionStateTest::undoRedoRestoreEveryStateOfALongRun()
{
    // Every kind of committing command at random places in lists of a few hundred tasks, with a few
    // steps back and forward between them, then all the way back and forth again: each step is
    // kept as how it differs from the next, so one wrong step shows in every state before it.
    SessionHarness h;
    auto& s = h.session;
    const auto pasteboard = std::make_shared<FakePasteboard>();
    s.setPasteboard(pasteboard);
    QStringList working, inbox, completed;
    for (int i = 0; i < 700; ++i)
        (i % 7 < 3 ? working : i % 7 < 6 ? inbox : completed).append(QStringLiteral("T%1").arg(i));
    h.load(working, inbox, completed);

    QRandomGenerator random(7);
    const auto selectRandom = [&] {
        const TaskSection section = allTaskSections[random.bounded(3)];
        const ItemIDList& ids = s.itemIDs(section);
        if (!ids.isEmpty())
            s.setSelection(SessionSelection::task(ids.at(random.bounded(int(ids.size())))));
    };
    // Each command: what sets it up (drafts, editors, the pasteboard), then what commits it.
    struct Command {
        std::function<void(int)> prepare;
        std::function<void(int)> commit;
    };
    const auto none = [](int) {};
    const QList<Command> commands {
        {[&](int n) { s.beginCreatingNewItem(QStringLiteral("New %1\nnote").arg(n)); },
            [&](int) { s.commitNewItem(); }},
        {[&](int n) {
             s.beginEditingSelectedItem(), s.updateInlineEditDraft(QStringLiteral("Edit %1").arg(n));
         },
            [&](int) { s.commitInlineEdit(); }},
        {none, [&](int) { s.deleteSelectedItem(); }},
        {none, [&](int n) { s.moveSelectedItem(n % 2 ? 1 : -1); }},
        {none,
            [&](int n) {
                if (const auto id = s.selection().taskID(); id && s.sectionOf(*id))
                    s.moveItem(*id, *s.sectionOf(*id), n % 3 ? 0 : 1000, false);
            }},
        {none, [&](int) { s.toggleSelectedItemCompletion(), h.scheduler.advance(1); }},
        {none, [&](int) { s.toggleSelectedItemToday(), h.scheduler.advance(0.3), h.scheduler.advance(1); }},
        {[&](int n) { pasteboard->content = QStringLiteral("Pasted %1").arg(n); },
            [&](int) { s.pasteItem(); }},
    };
    QList<SessionSnapshot> befores; // the state each recorded step was taken from
    QList<SessionSnapshot> afters; // the state each redo step goes forward to
    for (int n = 0; n < 400; ++n) {
        // Now and then a few steps back and forward between commands.
        for (int k = n % 9 == 4 ? random.bounded(1, 4) : 0; k > 0 && !befores.isEmpty(); --k) {
            afters.append(h.snapshot());
            s.undo();
            QVERIFY2(h.snapshot() == befores.takeLast(), qPrintable(QStringLiteral("undo at %1").arg(n)));
        }
        for (int k = n % 9 == 4 ? random.bounded(3) : 0; k > 0 && !afters.isEmpty(); --k) {
            befores.append(h.snapshot());
            s.redo();
            QVERIFY2(h.snapshot() == afters.takeLast(), qPrintable(QStringLiteral("redo at %1").arg(n)));
        }
        selectRandom();
        const Command& command = commands.at(random.bounded(int(commands.size())));
        command.prepare(n);
        const SessionSnapshot before = h.snapshot();
        const qsizetype steps = s.undoStack().size();
        command.commit(n);
        if (s.undoStack().size() != steps) {
            befores.append(before);
            afters.clear();
        }
        s.cancelInlineEdit();
        s.cancelNewItem();
    }
    QVERIFY(befores.size() > 250);
    QCOMPARE(s.undoStack().size(), befores.size());

    const SessionSnapshot last = h.snapshot();
    for (qsizetype i = befores.size() - 1; i >= 0; --i) {
        s.undo();
        QVERIFY2(h.snapshot() == befores.at(i), qPrintable(QStringLiteral("undo to step %1").arg(i)));
    }
    for (qsizetype i = 1; i <= befores.size(); ++i) {
        s.redo();
        QVERIFY2(h.snapshot() == (i < befores.size() ? befores.at(i) : last),
            qPrintable(QStringLiteral("redo to step %1").arg(i)));
    }
}

// Whatever happens to the lists between the history's calls (told how they changed or not, far
// moves in long lists, even changes between an undo and the next step), every undo and redo gives
// back exactly the state recorded or left, says how each list changed, and gives a list it leaves
// as it is back as that very list.
void SessionStateTest::undoHistoryRestoresListsHoweverTheyChanged()
{
    UndoHistory history;
    QRandomGenerator random(5);
    SessionSnapshot state;
    for (int i = 0; i < 20000; ++i)
        state.workingItemIDs.append(QUuid::createUuid());
    const auto lists = [](SessionSnapshot& s) {
        return std::array<ItemIDList*, 3> {&s.workingItemIDs, &s.inboxItemIDs, &s.completedItemIDs};
    };
    UndoHistory::KnownChanges known;
    const auto change = [&] {
        const std::size_t section = random.bounded(3);
        ItemIDList& ids = *lists(state)[section];
        const ItemIDList before = ids;
        const int size = int(ids.size());
        std::optional<ListChange> made;
        switch (size ? random.bounded(4) : 0) {
        case 0: {
            const int at = random.bounded(size + 1);
            ids.insert(at, QUuid::createUuid());
            made = ListChange::insertion(at, 1);
            break;
        }
        case 1: {
            const int at = random.bounded(size);
            ids.remove(at);
            made = ListChange::removal(at, 1);
            break;
        }
        case 2: {
            const int from = random.bounded(size);
            const int to = random.bounded(size);
            if (from == to)
                return;
            ids.move(from, to);
            made = ListChange::movement(from, to);
            break;
        }
        default: // a few ids replaced in place
            for (int at = random.bounded(size), end = std::min(size, at + random.bounded(1, 5)); at < end;
                 ++at)
                ids.replace(at, QUuid::createUuid());
        }
        known[section] = made && random.bounded(2)
            ? std::optional(KnownListChange::between(before, ids, *made))
            : std::nullopt;
    };
    const auto restoredAsTold = [&](SessionSnapshot was, SessionSnapshot now) {
        for (std::size_t section = 0; section < 3; ++section) {
            const ItemIDList& a = *lists(was)[section];
            const ItemIDList& b = *lists(now)[section];
            const std::optional<ListChange>& c = history.restoredChanges()[section];
            if (!c) {
                if (!a.isSharedWith(b))
                    return false;
                continue;
            }
            const qsizetype end = c->prefix + c->removed;
            if (a.size() - c->removed != b.size() - c->inserted || a.mid(0, c->prefix) != b.mid(0, c->prefix)
                || a.mid(end) != b.mid(c->prefix + c->inserted))
                return false;
        }
        return true;
    };
    QList<SessionSnapshot> befores;
    QList<SessionSnapshot> afters;
    int restores = 0;
    for (int n = 0; n < 400; ++n) {
        for (int k = random.bounded(3); k > 0; --k)
            change();
        const int operation = random.bounded(5);
        if (operation < 2) {
            befores.append(state);
            history.record(state, known);
            afters.clear();
        } else {
            QList<SessionSnapshot>& from = operation < 4 ? befores : afters;
            QList<SessionSnapshot>& to = operation < 4 ? afters : befores;
            const SessionSnapshot was = state;
            const std::optional<SessionSnapshot> step
                = operation < 4 ? history.undo(state, known) : history.redo(state, known);
            QCOMPARE(step.has_value(), !from.isEmpty());
            if (!step)
                continue;
            to.append(state);
            state = *step;
            known = {};
            QVERIFY2(state == from.takeLast(), qPrintable(QStringLiteral("step %1").arg(n)));
            QVERIFY2(restoredAsTold(was, state), qPrintable(QStringLiteral("changes at step %1").arg(n)));
            ++restores;
        }
    }
    QVERIFY(restores > 150);
    while (!befores.isEmpty()) {
        state = *history.undo(state, known);
        known = {};
        QVERIFY(state == befores.takeLast());
    }
}

void SessionStateTest::undoReopensTheInputRowAndTheInlineEditor()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"Old|old note"});
    const QUuid id = h.id("Old");
    s.beginEditingSelectedItem();
    s.updateInlineEditDraft("New\nnew note");
    s.commitInlineEdit();
    QVERIFY(!s.inlineEditState());
    s.undo();
    QCOMPARE(s.itemsByID().value(id).title, QString("Old"));
    QCOMPARE(s.itemsByID().value(id).note, QString("old note"));
    QVERIFY(s.inlineEditState() == (InlineEditState {id, "New\nnew note", "Old\nold note"}));
    QVERIFY(s.isTextEditingActive());
    s.redo();
    QVERIFY(!s.inlineEditState());
    QCOMPARE(s.itemsByID().value(id).title, QString("New"));

    s.beginCreatingNewItem("Fresh\nnote");
    s.commitNewItem();
    s.undo();
    QVERIFY(s.isCreatingNewItem());
    QCOMPARE(s.inputDraft(), QString("Fresh\nnote"));
    QCOMPARE(s.selection(), SessionSelection::input());
    QCOMPARE(s.itemsByID().size(), 1);
}

void SessionStateTest::undoAndRedoRefusedWhileBlockedOrInTransition()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"A", "B"}, {"I"});
    h.select("A");
    s.moveSelectedItem(1);
    s.undo();

    // Blocked: not even a pending move is cancelled.
    h.select("I");
    s.toggleSelectedItemToday();
    s.setEditingBlocked(true);
    VERIFY_REFUSED(h, "undo and redo while blocked", s.undo(); s.redo());
    s.setEditingBlocked(false);
    h.scheduler.advance(0.28);
    h.scheduler.advance(0.32);
    QCOMPARE(h.titles(TaskSection::working), QStringList({"A", "B", "I"}));

    // During a completion preview and a move's shell, undo and redo do nothing.
    h.select("A");
    s.toggleSelectedItemCompletion();
    h.select("B");
    s.moveSelectedItemToPending();
    VERIFY_REFUSED(h, "undo and redo in transition", s.undo(); s.redo());
}

void SessionStateTest::resetTransientStateClosesEditorsAndStopsTransitions()
{
    SessionHarness h;
    auto& s = h.session;
    h.load({"A", "B"}, {"I"});
    s.beginCreatingNewItem("draft");
    h.select("A");
    s.toggleSelectedItemCompletion(); // preview
    s.beginEditingItem(h.id("B"));
    h.select("I");
    s.toggleSelectedItemToday(); // pending
    QVERIFY(s.isCreatingNewItem() && s.inlineEditState());
    const ObservedState before = observe(h);

    s.resetTransientState();
    QVERIFY(!s.isCreatingNewItem() && !s.inlineEditState() && s.inputDraft().isEmpty());
    QVERIFY(!s.isTransitionInProgress());
    QCOMPARE(s.selection(), h.task("A"));
    QCOMPARE(h.snapshot().itemsByID, before.snapshot.itemsByID);
    QCOMPARE(s.selectionRevealRevision(), before.selectionRevealRevision);
    // Neither the cut-off preview nor the waiting move happens later.
    h.scheduler.advance(2);
    QCOMPARE(h.lists(), QString("A B | I |"));
    QCOMPARE(h.commits, before.commits);

    // The cut-off preview's undo step stays and still works.
    QCOMPARE(s.undoStack().size(), before.undoCount);
    s.undo();
    QCOMPARE(s.undoStack().size(), before.undoCount - 1);
}

QTEST_GUILESS_MAIN(SessionStateTest)
#include "SessionStateTest.moc"
