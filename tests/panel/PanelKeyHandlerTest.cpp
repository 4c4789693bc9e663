#include "panel/PanelKeyHandler.h"
#include "PanelFixture.h"
#include "panel/GrowingTextView.h"
#include "panel/PanelKeyCommand.h"

#include <QKeyEvent>

Q_DECLARE_METATYPE(QKeyCombination)

namespace {

// The panel in one line: each section's tasks by their first two letters, the selection, the place
// holding the focus with its text, and the hooks called.
QString describe(PanelFixture& panel)
{
    SessionController* session = panel.session();
    const auto name = [&](const QUuid& id) { return session->itemsByID().value(id).title.left(2); };
    QStringList sections;
    for (TaskSection section : {TaskSection::working, TaskSection::inbox, TaskSection::completed}) {
        QString names;
        for (const QUuid& id : session->itemIDs(section))
            names += name(id);
        sections << names;
    }
    const SessionSelection selection = session->selection();
    QString focus = "list";
    if (panel.search->hasFocus())
        focus = "search:" + panel.search->text();
    else if (panel.focus() == panel.list()->inputEditor())
        focus = "input:" + session->inputDraft();
    else if (session->inlineEditState() && panel.focus() == panel.list()->inlineEditor())
        focus = "edit:" + session->inlineEditState()->draftText;
    else if (panel.focus() != panel.list())
        focus = "elsewhere";
    QString result = sections.join('|') + " "
        + (selection.isInput()       ? "input"
                : selection.taskID() ? name(*selection.taskID())
                                     : "none")
        + " " + focus;
    if (!panel.hooks.isEmpty())
        result += " " + panel.hooks.join(',');
    if (!panel.urls->opened.isEmpty())
        result += " open:" + panel.urls->opened.first().toString();
    return result;
}

} // namespace

class PanelKeyHandlerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each row: where the focus is (the selected task's title, or "input", "edit" and "search"
    // holding the focus with Write the report selected), the key, whether the handler consumed it,
    // and the panel once every delay has passed.
    void keyMap_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<QString>("after");
        const auto row = [](const char* name, const char* place, QKeyCombination key, bool consumed,
                             const char* after, const char* text = "") {
            QTest::newRow(name) << QString(place) << key << QString(text) << consumed << QString(after);
        };
        const auto shift = [](Qt::Key key) { return Qt::SHIFT | key; };
        const auto ctrl = [](Qt::Key key) { return Qt::CTRL | key; };
        row("j", "Write", Qt::Key_J, true, "WrCa|ReWa|Bu Ca list", "j");
        row("down", "Write", Qt::Key_Down, true, "WrCa|ReWa|Bu Ca list");
        row("k", "Call", Qt::Key_K, true, "WrCa|ReWa|Bu Wr list", "k");
        row("up", "Call", Qt::Key_Up, true, "WrCa|ReWa|Bu Wr list");
        row("return edits", "Write", Qt::Key_Return, true,
            "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pages");
        row("backspace deletes", "Read", Qt::Key_Backspace, true, "WrCa|Wa|Bu Wa list");
        row("delete deletes", "Buy", Qt::Key_Delete, true, "WrCa|ReWa| Wa list");
        row("space completes", "Call", Qt::Key_Space, true, "Wr|ReWa|CaBu Wr list", " ");
        row("t working to pending", "Write", Qt::Key_T, true, "Ca|WrReWa|Bu Ca list", "t");
        row("t pending to next", "Water", Qt::Key_T, true, "WrCaWa|Re|Bu Re list", "t");
        row("t done to next", "Buy", Qt::Key_T, true, "WrCaBu|ReWa| Wr list", "t");
        row("n opens the input row", "Write", Qt::Key_N, true, "WrCa|ReWa|Bu input input:", "n");
        row("slash searches", "Write", Qt::Key_Slash, true, "WrCa|ReWa|Bu Wr search:", "/");
        row("h", "Write", Qt::Key_H, true, "WrCa|ReWa|Bu Wr list previous", "h");
        row("l", "Write", Qt::Key_L, true, "WrCa|ReWa|Bu Wr list next", "l");
        row("shift+L opens the link", "Read", shift(Qt::Key_L), true,
            "WrCa|ReWa|Bu Re list open:https://example.com/plan", "L");
        row("question mark", "Write", shift(Qt::Key_Question), true, "WrCa|ReWa|Bu Wr list help", "?");
        row("alt question mark", "Write", Qt::SHIFT | Qt::ALT | Qt::Key_Question, false,
            "WrCa|ReWa|Bu Wr list", "?");
        row("ctrl+F", "Write", ctrl(Qt::Key_F), true, "WrCa|ReWa|Bu Wr search:");
        row("ctrl+J", "Write", ctrl(Qt::Key_J), true, "CaWr|ReWa|Bu Wr list");
        row("ctrl+down", "Write", ctrl(Qt::Key_Down), true, "CaWr|ReWa|Bu Wr list");
        row("ctrl+K", "Call", ctrl(Qt::Key_K), true, "CaWr|ReWa|Bu Ca list");
        row("ctrl+up", "Call", ctrl(Qt::Key_Up), true, "CaWr|ReWa|Bu Ca list");
        row("ctrl+Z with nothing to undo", "Write", ctrl(Qt::Key_Z), true, "WrCa|ReWa|Bu Wr list");
        row("F5 passes", "Write", Qt::Key_F5, false, "WrCa|ReWa|Bu Wr list");
        row("x passes", "Write", Qt::Key_X, false, "WrCa|ReWa|Bu Wr list", "x");
        row("escape passes", "Write", Qt::Key_Escape, false, "WrCa|ReWa|Bu Wr list");
        // The search field keeps its keys; Ctrl+J, which it does not use, goes on to the menus.
        row("search j", "search", Qt::Key_J, false, "WrCa|ReWa|Bu Wr search:j", "j");
        row("search space", "search", Qt::Key_Space, false, "WrCa|ReWa|Bu Wr search: ", " ");
        row("search ctrl+J", "search", ctrl(Qt::Key_J), false, "WrCa|ReWa|Bu Wr search: Ctrl+J");
        // Editors get their keys, while Ctrl+F and Ctrl+J/K still act.
        row("input j", "input", Qt::Key_J, false, "WrCa|ReWa|Bu input input:j", "j");
        row("input down", "input", Qt::Key_Down, false, "WrCa|ReWa|Bu input input:");
        row("input delete", "input", Qt::Key_Delete, false, "WrCa|ReWa|Bu input input:");
        row("input escape closes", "input", Qt::Key_Escape, false, "WrCa|ReWa|Bu Wr list");
        row("input ctrl+F", "input", ctrl(Qt::Key_F), true, "WrCa|ReWa|Bu input search:");
        row("input tab stays", "input", Qt::Key_Tab, false, "WrCa|ReWa|Bu input input:", "\t");
        row("input backtab stays", "input", shift(Qt::Key_Backtab), false, "WrCa|ReWa|Bu input input:");
        row("edit t", "edit", Qt::Key_T, false, "WrCa|ReWa|Bu Wr edit:tWrite the report\nTwo pages", "t");
        row("edit space", "edit", Qt::Key_Space, false, "WrCa|ReWa|Bu Wr edit: Write the report\nTwo pages",
            " ");
        row("edit delete", "edit", Qt::Key_Delete, false, "WrCa|ReWa|Bu Wr edit:rite the report\nTwo pages");
        row("edit up", "edit", Qt::Key_Up, false, "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pages");
        row("edit return commits", "edit", Qt::Key_Return, false, "WrCa|ReWa|Bu Wr list");
        row("edit escape cancels", "edit", Qt::Key_Escape, false, "WrCa|ReWa|Bu Wr list");
        row("edit ctrl+J", "edit", ctrl(Qt::Key_J), true, "CaWr|ReWa|Bu Wr edit:Write the report\nTwo pages");
        row("edit ctrl+K", "edit", ctrl(Qt::Key_K), true, "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pages");
        row("edit ctrl+F", "edit", ctrl(Qt::Key_F), true, "WrCa|ReWa|Bu Wr search:");
        row("edit tab stays", "edit", Qt::Key_Tab, false, "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pages",
            "\t");
        row("edit backtab stays", "edit", shift(Qt::Key_Backtab), false,
            "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pages");
    }
    void keyMap()
    {
        QFETCH(QString, place);
        QFETCH(QKeyCombination, key);
        QFETCH(QString, text);
        QFETCH(bool, consumed);
        QFETCH(QString, after);
        PanelFixture panel;
        panel.select("Write the report");
        for (TaskSection section : {TaskSection::working, TaskSection::inbox, TaskSection::completed})
            for (const QString& title : titlesOf(*panel.session(), section))
                if (title.startsWith(place))
                    panel.select(title);
        if (place == "search")
            panel.type('/');
        else if (place == "input")
            panel.type('n');
        else if (place == "edit") {
            panel.press(Qt::Key_Return);
            panel.list()->inlineEditor()->moveCursor(QTextCursor::Start);
        }
        panel.consumed.reset();
        panel.decided.clear();
        QTest::sendKeyEvent(QTest::KeyAction::Click, panel.focus(), key.key(), text, key.keyboardModifiers());
        panel.settle();
        panel.scheduler.advance(2); // past every preview, toggle and clearing delay
        panel.settle();
        QCOMPARE(panel.consumed, std::optional<bool>(consumed));
        QCOMPARE(panel.decided.count(key.key()), 1); // once, though Qt offers ignored keys to each parent
        QCOMPARE(describe(panel), after);
    }

    // A click beside the rows (a section header, the empty space below them) leaves the keys with the
    // open editor: typing reaches it and Escape closes it.
    void clicksBesideTheRowsLeaveTheKeysWithTheEditor_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("target");
        for (const char* place : {"input", "edit"}) {
            for (const char* target : {"section-header-working", "section-header-completed", "below"})
                QTest::addRow("%s, %s", place, target) << QString(place) << QString(target);
        }
    }
    void clicksBesideTheRowsLeaveTheKeysWithTheEditor()
    {
        QFETCH(QString, place);
        QFETCH(QString, target);
        PanelFixture panel;
        panel.select("Write the report");
        panel.press(place == "input" ? Qt::Key_N : Qt::Key_Return);
        TaskListView* list = panel.list();
        QPoint point(list->viewport()->width() / 2, list->viewport()->height() - 4);
        if (target != "below")
            point = (list->rowRect(target).topLeft() + QPointF(3, 3 - list->scrollOffset())).toPoint();
        QCOMPARE(list->rowIDAt(point), target == "below" ? QString() : target);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        panel.settle();
        panel.type('x');
        QCOMPARE(describe(panel),
            place == "input" ? "WrCa|ReWa|Bu input input:x"
                             : "WrCa|ReWa|Bu Wr edit:Write the report\nTwo pagesx");
        panel.press(Qt::Key_Escape);
        QCOMPARE(describe(panel), "WrCa|ReWa|Bu Wr list");
    }

    void keysTypedIntoAnotherPanelStayThere()
    {
        PanelFixture first;
        PanelFixture second;
        first.select("Write the report");
        second.select("Write the report");
        QApplication::setActiveWindow(&second.window);
        second.root->focusContent();
        second.settle();
        second.type('j');
        second.press(Qt::Key_Delete);
        QCOMPARE(describe(first), "WrCa|ReWa|Bu Wr list");
        QCOMPARE(describe(second), "Wr|ReWa|Bu Re list");
        QVERIFY(!first.consumed);
    }

    void anEditorWithTheFocusKeepsItsKeysWhateverIsSelected()
    {
        PanelFixture panel;
        panel.select("Water the plants");
        panel.type('n');
        for (char c : QByteArray("ab cd"))
            panel.type(c);
        // The selection moves on while the input row keeps the focus.
        panel.select("Read [the plan](https://example.com/plan) soon");
        QCOMPARE(panel.focus(), panel.list()->inputEditor());
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Space}) {
            panel.press(key);
            QCOMPARE(panel.consumed, false);
        }
        for (char c : QByteArray("tjx"))
            panel.type(c);
        QCOMPARE(describe(panel), "WrCa|ReWa|Bu Re input:ab  tjx");
        panel.press(Qt::Key_Return);
        QCOMPARE(describe(panel), "WrCa|abReWa|Bu ab list");
    }

    // Keys typed faster than the panel turns, as on a busy machine, arrive together: those after the
    // key that opens an editor reach that editor, in order, before any delayed job has run.
    void keysTypedAfterTheKeyThatOpensAnEditorReachIt_data()
    {
        QTest::addColumn<QList<QKeyCombination>>("keys");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("title");
        QTest::newRow("edit") << QList<QKeyCombination> {Qt::Key_Return, Qt::Key_End, Qt::Key_Y,
            Qt::Key_Return} << "WrCa|ReWa|Bu Wa list"
                              << "Water the plantsy";
        QTest::newRow("new") << QList<QKeyCombination> {Qt::Key_N, Qt::Key_J, Qt::Key_T, Qt::Key_Return,
            Qt::Key_Escape} << "WrCa|jtReWa|Bu jt list"
                             << "jt";
    }
    void keysTypedAfterTheKeyThatOpensAnEditorReachIt()
    {
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(QString, after);
        QFETCH(QString, title);
        PanelFixture panel;
        panel.select("Water the plants");
        for (QKeyCombination key : keys)
            QTest::keyClick(panel.window.windowHandle(), key.key(), key.keyboardModifiers());
        panel.settle();
        QCOMPARE(describe(panel), after);
        QVERIFY(!panel.task(title).isNull());
    }

    void textCommandsGoToTheEditorAndUndoToTheSession()
    {
        PanelFixture panel;
        panel.select("Write the report");
        panel.type('n');
        for (char c : QByteArray("buy"))
            panel.type(c);
        // Ctrl+A, Ctrl+X and Ctrl+Z act on the editor's text, not on the list.
        panel.press(Qt::CTRL | Qt::Key_A);
        QCOMPARE(panel.list()->inputEditor()->textCursor().selectedText(), QStringLiteral("buy"));
        panel.press(Qt::CTRL | Qt::Key_X);
        QCOMPARE(panel.session()->inputDraft(), QString());
        panel.press(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(panel.session()->inputDraft(), QStringLiteral("buy"));
        QVERIFY(panel.session()->undoStack().isEmpty());
        panel.press(Qt::Key_Escape);

        // With nothing focused, Ctrl+Z undoes the last change and Ctrl+Shift+Z redoes it.
        panel.press(Qt::CTRL | Qt::Key_J);
        panel.list()->clearFocus();
        QCOMPARE(panel.window.focusWidget(), nullptr);
        panel.press(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(describe(panel), "WrCa|ReWa|Bu Wr elsewhere");
        panel.press(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        QCOMPARE(describe(panel), "CaWr|ReWa|Bu Wr elsewhere");

        // A blocked move is still consumed, so no menu command sees it. The saves of the changes above
        // finish first: their outcome sets whether editing is blocked.
        panel.controller.waitForWrites();
        const int undoSteps = panel.session()->undoStack().size();
        panel.session()->setEditingBlocked(true);
        panel.press(Qt::CTRL | Qt::Key_K);
        panel.press(Qt::CTRL | Qt::Key_Up);
        QCOMPARE(panel.consumed, true);
        QCOMPARE(describe(panel), "CaWr|ReWa|Bu Wr elsewhere");
        QCOMPARE(panel.session()->undoStack().size(), undoSteps);
    }

    // The Ctrl commands the global shortcut must leave free are the handler's own: in the input row,
    // where both the editor's and the list's Ctrl keys act, each one is taken.
    void everyListedCtrlCommandIsTakenByTheHandler()
    {
        for (const PanelKeyCommand& command : PanelKeyCommand::all()) {
            for (const QKeySequence& keys : command.keys) {
                PanelFixture panel;
                panel.select("Write the report");
                panel.type('n');
                panel.consumed.reset();
                panel.press(keys[0]);
                QVERIFY2(panel.consumed == std::optional<bool>(true),
                    qPrintable(command.title + QStringLiteral(": ") + keys.toString()));
            }
        }
    }

    void aBurstIsTwoMovesWithinItsInterval()
    {
        PanelFixture panel;
        TaskListView* list = panel.list();
        list->setAnimationsEnabled(true);
        panel.select("Write the report");
        panel.scheduler.advance(5);
        panel.type('j');
        const double first = panel.scheduler.now();
        QCOMPARE(list->keyboardNavigationBurstUntil(), first); // a single move is no burst

        panel.scheduler.advance(0.2);
        panel.type('j');
        QCOMPARE(list->keyboardNavigationBurstUntil(), first + 0.2 + 0.28);
        // During a burst the selected row expands only after the longer delay.
        const QUuid selected = *panel.session()->selection().taskID();
        panel.scheduler.advance(0.2);
        QVERIFY(list->expandedSelectionTaskID() != selected);
        panel.scheduler.advance(0.1);
        QCOMPARE(list->expandedSelectionTaskID(), selected);

        panel.scheduler.advance(0.1); // 0.3 s after the last move
        panel.type('k');
        QCOMPARE(list->keyboardNavigationBurstUntil(), panel.scheduler.now());

        // A held key repeats: every repeat is a burst, whatever the time.
        panel.scheduler.advance(2);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
        QVERIFY(panel.root->keyHandler()->handleKeyDown(&repeat));
        QCOMPARE(list->keyboardNavigationBurstUntil(), panel.scheduler.now() + 0.28);
    }
};

QTEST_MAIN(PanelKeyHandlerTest)
#include "PanelKeyHandlerTest.moc"
