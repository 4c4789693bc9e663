#include "FakePasteboard.h"
#include "RecordingUrlOpener.h"
#include "SessionTestSupport.h"

#include <functional>

namespace {

// A session with a fake pasteboard and a recording URL opener.
struct Fixture : SessionHarness {
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();

    Fixture()
    {
        session.setPasteboard(pasteboard);
        session.setUrlOpener(opener);
    }

    SessionItem itemTitled(const QString& title) const { return session.itemsByID().value(id(title)); }
};

// Starts the completion preview of the given task, which stays in transition for 0.4 s.
void startCompleting(Fixture& f, const QString& title)
{
    f.select(title);
    f.session.toggleSelectedItemCompletion();
    QVERIFY(f.session.isTransitionInProgress());
}

} // namespace

class SessionPasteboardTest : public QObject {
    Q_OBJECT

private slots:
    void copyingAndPastingBackGivesAnEqualTask()
    {
        Fixture f;
        f.load({"W1"}, {"Call Ann|about the\nbudget"});
        f.select("Call Ann");
        QVERIFY(f.session.canCopySelectedItem());
        const ObservedState before = observe(f);
        f.session.copySelectedItem();
        QCOMPARE(f.pasteboard->content, QString("Call Ann\nabout the\nbudget"));
        VERIFY_UNCHANGED(f, before, ""); // copying records, commits and reveals nothing

        f.select("W1");
        f.session.pasteItem();
        const QUuid pasted = *f.session.selection().taskID();
        QCOMPARE(f.session.workingItemIDs(), (QList<QUuid> {f.id("W1"), pasted}));
        const SessionItem copy = f.session.itemsByID().value(pasted);
        QCOMPARE(copy.title, QString("Call Ann"));
        QCOMPARE(copy.note, std::optional<QString>("about the\nbudget"));
        QVERIFY(pasted != f.id("W1"));
    }

    void pasteGoesBelowTheSelectedTaskOrToTheTopOfTheInbox_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("working");
        QTest::addColumn<QStringList>("inbox");
        QTest::addColumn<QStringList>("completed");
        QTest::newRow("inbox task") << "I1" << QStringList {"W1", "W2"} << QStringList {"I1", "P", "I2"}
                                    << QStringList {"C1"};
        QTest::newRow("last working task")
            << "W2" << QStringList {"W1", "W2", "P"} << QStringList {"I1", "I2"} << QStringList {"C1"};
        QTest::newRow("completed task")
            << "C1" << QStringList {"W1", "W2"} << QStringList {"I1", "I2"} << QStringList {"C1", "P"};
        QTest::newRow("nothing") << "" << QStringList {"W1", "W2"} << QStringList {"P", "I1", "I2"}
                                 << QStringList {"C1"};
        QTest::newRow("stale task") << "gone" << QStringList {"W1", "W2"} << QStringList {"P", "I1", "I2"}
                                    << QStringList {"C1"};
    }

    void pasteGoesBelowTheSelectedTaskOrToTheTopOfTheInbox()
    {
        QFETCH(QString, selected);
        Fixture f;
        f.load({"W1", "W2"}, {"I1", "I2"}, {"C1"});
        if (selected == "gone")
            f.session.setSelection(SessionSelection::task(QUuid::createUuid()));
        else if (!selected.isEmpty())
            f.select(selected);
        else
            f.session.setSelection(SessionSelection::none());
        f.pasteboard->content = "  P  \r\n\r\nits note\n\n";
        QVERIFY(f.session.canPasteItem());
        const int reveal = f.session.selectionRevealRevision();

        f.session.pasteItem();
        QTEST(f.titles(TaskSection::working), "working");
        QTEST(f.titles(TaskSection::inbox), "inbox");
        QTEST(f.titles(TaskSection::completed), "completed");
        QCOMPARE(f.session.selection(), f.task("P"));
        QCOMPARE(f.itemTitled("P").note, std::optional<QString>("its note"));
        QCOMPARE(f.session.undoStack().size(), 1);
        QCOMPARE(f.commits, 1);
        QCOMPARE(f.session.selectionRevealRevision(), reveal + 1);

        const VeskDocument pasted = f.session.committedDocument();
        f.session.undo();
        QCOMPARE(f.session.itemsByID().size(), 5);
        QCOMPARE(f.titles(TaskSection::inbox), (QStringList {"I1", "I2"}));
        f.session.redo();
        QCOMPARE(f.session.committedDocument(), pasted);
    }

    void refusedPastesDoNothingAtAll_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("situation");
        QTest::newRow("empty pasteboard") << ""
                                          << "";
        QTest::newRow("blank first line") << "   \nnote only"
                                          << "";
        QTest::newRow("only line breaks") << "\n\r\n"
                                          << "";
        QTest::newRow("blocked") << "Task"
                                 << "blocked";
        QTest::newRow("input row open") << "Task"
                                        << "input";
        QTest::newRow("inline editor open") << "Task"
                                            << "editor";
        QTest::newRow("transition running") << "Task"
                                            << "transition";
        QTest::newRow("no pasteboard") << "Task"
                                       << "detached";
    }

    void refusedPastesDoNothingAtAll()
    {
        QFETCH(QString, content);
        QFETCH(QString, situation);
        Fixture f;
        f.load({"W1", "W2"}, {"I1"});
        f.pasteboard->content = content;
        f.select("I1");
        if (situation == "blocked")
            f.session.setEditingBlocked(true);
        else if (situation == "input")
            f.session.beginCreatingNewItem("draft");
        else if (situation == "editor")
            f.session.beginEditingSelectedItem();
        else if (situation == "transition")
            startCompleting(f, "W1");
        else if (situation == "detached")
            f.session.setPasteboard(nullptr);

        QVERIFY(!f.session.canPasteItem());
        const ObservedState before = observe(f);
        f.session.pasteItem();
        VERIFY_UNCHANGED(f, before, "");
    }

    void copyNeedsASelectedTaskWithoutEditorOrTransition()
    {
        Fixture f;
        f.load({"W1", "W2"}, {"I1"});
        // Copying changes nothing in the list, so a blocked session may copy.
        f.select("I1");
        f.session.setEditingBlocked(true);
        f.session.copySelectedItem();
        QCOMPARE(f.pasteboard->content, QString("I1"));
        f.session.setEditingBlocked(false);

        const auto refuses = [&f](const char* situation) {
            const int writes = f.pasteboard->writes;
            QVERIFY2(!f.session.canCopySelectedItem(), situation);
            f.session.copySelectedItem();
            QVERIFY2(f.pasteboard->writes == writes, situation);
        };
        f.session.setSelection(SessionSelection::none());
        refuses("nothing selected");
        f.session.setSelection(SessionSelection::task(QUuid::createUuid()));
        refuses("stale selection");
        f.select("I1");
        f.session.beginEditingSelectedItem();
        refuses("inline editor open");
        f.session.cancelInlineEdit();
        startCompleting(f, "W1");
        f.select("W1");
        refuses("task in transition");
    }

    void openingALinkOpensTheFirstLinkOfTheTaskText()
    {
        Fixture f;
        f.load({"Read [spec](https://docs.example/spec) then https://later.example",
                   "Bare www.w.example first", "Note holds it|see https://note.example/x."},
            {"No link here"});

        const auto openFrom = [&f](const QString& title) {
            f.select(title);
            const ObservedState before = observe(f);
            f.session.openFirstLinkInSelectedItem();
            VERIFY_UNCHANGED(f, before, "");
        };
        QVERIFY(f.session.canOpenLinkInItem(f.id("Bare www.w.example first")));
        openFrom("Read [spec](https://docs.example/spec) then https://later.example");
        openFrom("Bare www.w.example first");
        openFrom("Note holds it");
        QCOMPARE(f.opener->opened,
            (QList<QUrl> {QUrl("https://docs.example/spec"), QUrl("http://www.w.example"),
                QUrl("https://note.example/x")}));

        f.select("No link here");
        QVERIFY(!f.session.canOpenLinkInSelectedItem());
        f.session.openFirstLinkInSelectedItem();
        QCOMPARE(f.opener->opened.size(), 3);
    }

    void unsafeLinksAreNeverOpened()
    {
        const QStringList titles {"[run](javascript:alert(1))", "[f](file:///etc/passwd) file:///etc/shadow",
            "[x](vesk-helper://run?rm)", "[nl](https://a.example/%0D%0ASet-Cookie:x)", "[h](http:///nohost)",
            "smb://server/share ftp://f.example data:text/html,x"};
        Fixture f;
        f.load(titles);
        for (const QString& title : titles) {
            f.select(title);
            QVERIFY2(!f.session.canOpenLinkInSelectedItem(), qPrintable(title));
            QVERIFY2(!f.session.canOpenLinkInItem(f.id(title)), qPrintable(title));
            f.session.openFirstLinkInSelectedItem();
        }
        QVERIFY(f.opener->opened.isEmpty());
    }

    void linksAreNotOpenedWhileTheTaskAnimates()
    {
        Fixture f;
        f.load({"https://a.example", "https://b.example"});
        startCompleting(f, "https://a.example");
        // The selection moved on; select the animating task again.
        f.select("https://a.example");
        QVERIFY(!f.session.canOpenLinkInSelectedItem());
        f.session.openFirstLinkInSelectedItem();
        QVERIFY(f.opener->opened.isEmpty());
        // The other task is not in transition and opens; an editor only disables the menu entry.
        f.select("https://b.example");
        f.session.openFirstLinkInSelectedItem();
        QCOMPARE(f.opener->opened, QList<QUrl> {QUrl("https://b.example")});
    }

    void rowPredicatesFollowTheRowNotTheSelection()
    {
        Fixture f;
        f.load({"W [l](https://l.example)"}, {"I"}, {"C"});
        auto& s = f.session;
        const QUuid w = f.id("W [l](https://l.example)"), i = f.id("I"), c = f.id("C");
        const QUuid stale = QUuid::createUuid();
        s.setSelection(SessionSelection::none());

        QCOMPARE((QList<bool> {s.canMoveItemToNext(w), s.canMoveItemToNext(i), s.canMoveItemToNext(c)}),
            (QList<bool> {false, true, true}));
        QCOMPARE(
            (QList<bool> {s.canMoveItemToPending(w), s.canMoveItemToPending(i), s.canMoveItemToPending(c)}),
            (QList<bool> {true, false, true}));
        QCOMPARE((QList<bool> {s.canCompleteItem(w), s.canCompleteItem(i), s.canCompleteItem(c)}),
            (QList<bool> {true, true, false}));
        QVERIFY(s.canCopyItem(i) && s.canDeleteItem(i));
        QCOMPARE((QList<bool> {s.canOpenLinkInItem(w), s.canOpenLinkInItem(i)}), (QList<bool> {true, false}));
        for (const bool allowed :
            {s.canMoveItemToNext(stale), s.canMoveItemToPending(stale), s.canCompleteItem(stale),
                s.canCopyItem(stale), s.canDeleteItem(stale), s.canOpenLinkInItem(stale)})
            QVERIFY(!allowed);

        // Blocked: no moves and no delete, but copying and links stay available.
        s.setEditingBlocked(true);
        QVERIFY(!s.canMoveItemToNext(i) && !s.canMoveItemToPending(w) && !s.canCompleteItem(w));
        QVERIFY(!s.canDeleteItem(i));
        QVERIFY(s.canCopyItem(i) && s.canOpenLinkInItem(w));
        s.setEditingBlocked(false);

        // An inline editor on any task disables every row.
        f.select("C");
        s.beginEditingSelectedItem();
        QVERIFY(!s.canCompleteItem(w) && !s.canCopyItem(i) && !s.canDeleteItem(i) && !s.canOpenLinkInItem(w));
        s.cancelInlineEdit();

        // A transition disables only the row in it.
        startCompleting(f, "I");
        QVERIFY(!s.canCopyItem(i) && !s.canDeleteItem(i) && !s.canMoveItemToNext(i));
        QVERIFY(s.canCopyItem(w) && s.canCompleteItem(w) && s.canOpenLinkInItem(w));
    }

    void completingAnotherRowKeepsTheSelection()
    {
        Fixture f;
        f.load({"W1", "W2", "W3"}, {"I1"});
        f.select("I1");
        f.session.completeItem(f.id("W2"));
        QCOMPARE(f.session.selection(), f.task("I1"));
        QVERIFY(f.session.taskAnimations().contains(f.id("W2")));
        QCOMPARE(f.session.undoStack().size(), 1);
        f.scheduler.advance(0.4 + 0.32);
        QCOMPARE(f.titles(TaskSection::working), (QStringList {"W1", "W3"}));
        QCOMPARE(f.titles(TaskSection::completed), QStringList {"W2"});
        QCOMPARE(f.session.selection(), f.task("I1"));
        QCOMPARE(f.commits, 1);
    }

    void completingTheSelectedRowMovesTheSelectionOn()
    {
        Fixture f;
        f.load({"W1", "W2", "W3"});
        f.select("W2");
        f.session.completeItem(f.id("W2"));
        QCOMPARE(f.session.selection(), f.task("W3"));
        f.scheduler.advance(0.72);
        QCOMPARE(f.titles(TaskSection::completed), QStringList {"W2"});
    }

    void refusedRowActionsDoNothingAtAll()
    {
        Fixture f;
        f.load({"W1", "W2"}, {"I1"}, {"C1"});
        f.select("I1");
        const auto verifyRefused = [&f](const char* what, const std::function<void()>& action) {
            const ObservedState before = observe(f);
            action();
            const ObservedState after = observe(f);
            QVERIFY2(after == before,
                qPrintable(
                    QString("%1\nbefore: %2\nafter:  %3").arg(what, describe(before), describe(after))));
        };
        auto& s = f.session;
        verifyRefused("complete a completed row", [&] { s.completeItem(f.id("C1")); });
        verifyRefused("complete a stale row", [&] { s.completeItem(QUuid::createUuid()); });
        int calls = 0;
        verifyRefused(
            "act on a stale row", [&] { s.performWithItemSelected(QUuid::createUuid(), [&] { ++calls; }); });
        QCOMPARE(calls, 0);
        s.setEditingBlocked(true);
        verifyRefused("complete while blocked", [&] { s.completeItem(f.id("W1")); });
        verifyRefused("delete while blocked",
            [&] { s.performWithItemSelected(f.id("W2"), [&] { s.deleteSelectedItem(); }); });
        s.setEditingBlocked(false);
        startCompleting(f, "W1");
        f.select("I1");
        verifyRefused("complete a row in transition", [&] { s.completeItem(f.id("W1")); });
    }

    void performWithItemSelectedLendsTheSelectionToTheAction()
    {
        Fixture f;
        f.load({"W1", "W2", "W3"}, {"I1"});
        auto& s = f.session;
        f.select("I1");
        SessionSelection seen;
        const QUuid w2 = f.id("W2");
        s.performWithItemSelected(w2, [&] {
            seen = s.selection();
            s.deleteSelectedItem();
        });
        QCOMPARE(seen, SessionSelection::task(w2));
        QCOMPARE(f.titles(TaskSection::working), (QStringList {"W1", "W3"}));
        QCOMPARE(s.selection(), f.task("I1"));
        QCOMPARE(f.commits, 1);

        // Acting on the selected row keeps what the action chose.
        f.select("W1");
        s.performWithItemSelected(f.id("W1"), [&] { s.deleteSelectedItem(); });
        QCOMPARE(s.selection(), f.task("W3"));

        // The action's notifications arrive once, after the selection is given back.
        QList<SessionSelection> selectionsSeen;
        connect(&s, &SessionController::selectionChanged, this, [&] { selectionsSeen << s.selection(); });
        f.select("I1");
        selectionsSeen.clear();
        s.performWithItemSelected(f.id("W3"), [&] { s.moveSelectedItemToPending(); });
        f.scheduler.advance(0.28 + 0.32);
        QCOMPARE(f.titles(TaskSection::inbox), (QStringList {"W3", "I1"}));
        QCOMPARE(selectionsSeen.first(), f.task("I1"));
        QCOMPARE(s.selection(), f.task("I1"));
    }

    void restoreSelectionRules()
    {
        Fixture f;
        f.load({"W1", "W2"}, {"I1"});
        auto& s = f.session;
        const QUuid acted = f.id("W1");

        f.select("W2");
        s.restoreSelection(SessionSelection::none(), acted);
        QCOMPARE(s.selection(), SessionSelection::none());

        f.select("W2");
        s.restoreSelection(SessionSelection::input(), acted);
        QCOMPARE(s.selection(), f.task("W2")); // no input row open: left as it is
        s.beginCreatingNewItem();
        f.select("W2");
        s.restoreSelection(SessionSelection::input(), acted);
        QCOMPARE(s.selection(), SessionSelection::input());
        s.cancelNewItem();

        f.select("W2");
        s.restoreSelection(f.task("W1"), acted);
        QCOMPARE(s.selection(), f.task("W2")); // the acted-on row: the action's choice stands
        s.restoreSelection(f.task("I1"), acted);
        QCOMPARE(s.selection(), f.task("I1"));
        s.restoreSelection(SessionSelection::task(QUuid::createUuid()), acted);
        QCOMPARE(s.selection(), f.task("I1")); // a vanished task: left as it is
    }
};

QTEST_GUILESS_MAIN(SessionPasteboardTest)
#include "SessionPasteboardTest.moc"
