#include "FakePasteboard.h"
#include "RecordingUrlOpener.h"
#include "SessionTestSupport.h"

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

    void pasteGoesBelowTheSelectedTaskOrToTheTopOfTheInbox()
    {
        // Selected row, then the working, inbox and completed lists after pasting "P".
        const QList<std::tuple<QString, QStringList, QStringList, QStringList>> cases {
            {"I1", {"W1", "W2"}, {"I1", "P", "I2"}, {"C1"}},
            {"W2", {"W1", "W2", "P"}, {"I1", "I2"}, {"C1"}},
            {"C1", {"W1", "W2"}, {"I1", "I2"}, {"C1", "P"}},
            {"none", {"W1", "W2"}, {"P", "I1", "I2"}, {"C1"}},
            {"stale", {"W1", "W2"}, {"P", "I1", "I2"}, {"C1"}},
        };
        for (const auto& [selected, working, inbox, completed] : cases) {
            Fixture f;
            f.load({"W1", "W2"}, {"I1", "I2"}, {"C1"});
            f.select(selected);
            f.pasteboard->content = "  P  \r\n\r\nits note\n\n";
            QVERIFY(f.session.canPasteItem());
            const ObservedState before = observe(f);
            f.session.pasteItem();
            QCOMPARE(f.titles(TaskSection::working), working);
            QCOMPARE(f.titles(TaskSection::inbox), inbox);
            QCOMPARE(f.titles(TaskSection::completed), completed);
            QCOMPARE(f.session.selection(), f.task("P"));
            QCOMPARE(f.itemTitled("P").note, std::optional<QString>("its note"));
            QCOMPARE(f.session.undoStack().size(), 1);
            QCOMPARE(f.commits, 1);
            QCOMPARE(f.session.selectionRevealRevision(), before.selectionRevealRevision + 1);

            const VeskDocument pasted = f.session.committedDocument();
            f.session.undo();
            QCOMPARE(f.session.itemsByID(), before.snapshot.itemsByID);
            QCOMPARE(f.titles(TaskSection::inbox), (QStringList {"I1", "I2"}));
            f.session.redo();
            QCOMPARE(f.session.committedDocument(), pasted);
        }
    }

    void refusedCopiesAndPastesDoNothingAtAll()
    {
        const QList<std::tuple<QString, QString, bool>> cases {
            // Pasteboard content, situation, whether copying is still allowed.
            {"", "", true},
            {"   \nnote only", "", true},
            {"\n\r\n", "", true},
            {"Task", "blocked", true}, // copying changes nothing in the list
            {"Task", "input", false},
            {"Task", "editor", false},
            {"Task", "transition", false},
            {"Task", "detached", false},
            {"Task", "none", false},
            {"Task", "stale", false},
        };
        for (const auto& [content, situation, copies] : cases) {
            Fixture f;
            f.load({"W1", "W2"}, {"I1"});
            f.pasteboard->content = content;
            f.select(situation == "none" || situation == "stale" ? situation : "I1");
            if (situation == "blocked")
                f.session.setEditingBlocked(true);
            else if (situation == "input")
                f.session.beginCreatingNewItem("draft");
            else if (situation == "editor")
                f.session.beginEditingSelectedItem();
            else if (situation == "transition")
                startCompleting(f, "I1"), f.select("I1");
            else if (situation == "detached")
                f.session.setPasteboard(nullptr);
            if (situation != "none" && situation != "stale") { // pasting with these selections works
                QVERIFY2(!f.session.canPasteItem(), qPrintable(content + situation));
                VERIFY_REFUSED(f, "paste " + content + situation, f.session.pasteItem());
            }
            if (situation != "detached") // copying nowhere is harmless
                QVERIFY2(f.session.canCopySelectedItem() == copies, qPrintable(situation));
            VERIFY_REFUSED(f, "copy " + situation, f.session.copySelectedItem());
            QCOMPARE(f.pasteboard->writes, copies ? 1 : 0);
            if (copies)
                QCOMPARE(f.pasteboard->content, QString("I1"));
        }
    }

    void openingALinkOpensOnlyTheFirstSafeLinkOfAStillTask()
    {
        // Each title with the URL it opens ("" for nothing); opening changes nothing in the session.
        // Which links are safe is the link finder's own table; here one of each kind is enough.
        const QList<std::pair<QString, QString>> cases {
            {"Read [spec](https://docs.example/spec) then https://later.example",
                "https://docs.example/spec"},
            {"Note holds it|see https://note.example/x.", "https://note.example/x"}, {"No link here", ""},
            {"[run](javascript:alert(1)) file:///etc/shadow", ""}};
        for (const auto& [title, url] : cases) {
            Fixture f;
            f.load({title, "https://animating.example"});
            startCompleting(f, "https://animating.example"); // another task's transition is no bar
            const QString shown = title.section('|', 0, 0);
            f.select(shown);
            QCOMPARE(f.session.canOpenLinkInSelectedItem(), !url.isEmpty());
            QCOMPARE(f.session.canOpenLinkInItem(f.id(shown)), !url.isEmpty());
            VERIFY_REFUSED(f, title, f.session.openFirstLinkInSelectedItem());
            QCOMPARE(f.opener->opened, url.isEmpty() ? QList<QUrl> {} : QList<QUrl> {QUrl(url)});
            f.select("https://animating.example"); // its own transition is
            QVERIFY(!f.session.canOpenLinkInSelectedItem());
            f.session.openFirstLinkInSelectedItem();
            QCOMPARE(f.opener->opened.size(), url.isEmpty() ? 0 : 1);
        }
    }

    void rowPredicatesFollowTheRowNotTheSelection()
    {
        Fixture f;
        f.load({"W [l](https://l.example)"}, {"I"}, {"C"});
        auto& s = f.session;
        // For the rows W, I, C and a stale id: Next, Pending, complete, copy, delete, open link.
        const auto allowed = [&] {
            QStringList rows;
            for (const QUuid& id :
                {f.id("W [l](https://l.example)"), f.id("I"), f.id("C"), QUuid::createUuid()}) {
                QString flags;
                for (bool b : {s.canMoveItemToNext(id), s.canMoveItemToPending(id), s.canCompleteItem(id),
                         s.canCopyItem(id), s.canDeleteItem(id), s.canOpenLinkInItem(id)})
                    flags += b ? '+' : '-';
                rows << flags;
            }
            return rows.join(' ');
        };
        s.setSelection(SessionSelection::none());
        QCOMPARE(allowed(), QString("-+++++ +-+++- ++-++- ------"));
        // Blocked: no moves and no delete, but copying and links stay available.
        s.setEditingBlocked(true);
        QCOMPARE(allowed(), QString("---+-+ ---+-- ---+-- ------"));
        s.setEditingBlocked(false);
        // An inline editor on any task disables every row.
        f.select("C");
        s.beginEditingSelectedItem();
        QCOMPARE(allowed(), QString("------ ------ ------ ------"));
        s.cancelInlineEdit();
        // A transition disables only the row in it.
        startCompleting(f, "I");
        QCOMPARE(allowed(), QString("-+++++ ------ ++-++- ------"));
    }

    void completingARowMovesTheSelectionOnlyWhenItWasSelected()
    {
        for (const auto& [selected, after] : {std::pair {"I1", "I1"}, std::pair {"W2", "W3"}}) {
            Fixture f;
            f.load({"W1", "W2", "W3"}, {"I1"});
            f.select(selected);
            f.session.completeItem(f.id("W2"));
            QCOMPARE(f.session.selection(), f.task(after));
            QVERIFY(f.session.taskAnimations().contains(f.id("W2")));
            QCOMPARE(f.session.undoStack().size(), 1);
            f.scheduler.advance(0.4 + 0.32);
            QCOMPARE(f.titles(TaskSection::working), (QStringList {"W1", "W3"}));
            QCOMPARE(f.titles(TaskSection::completed), QStringList {"W2"});
            QCOMPARE(f.session.selection(), f.task(after));
            QCOMPARE(f.commits, 1);
        }
    }

    void refusedRowActionsDoNothingAtAll()
    {
        Fixture f;
        f.load({"W1", "W2"}, {"I1"}, {"C1"});
        f.select("I1");
        auto& s = f.session;
        VERIFY_REFUSED(f, "complete a completed row", s.completeItem(f.id("C1")));
        VERIFY_REFUSED(f, "complete a stale row", s.completeItem(QUuid::createUuid()));
        int calls = 0;
        VERIFY_REFUSED(
            f, "act on a stale row", s.performWithItemSelected(QUuid::createUuid(), [&] { ++calls; }));
        QCOMPARE(calls, 0);
        s.setEditingBlocked(true);
        VERIFY_REFUSED(f, "complete while blocked", s.completeItem(f.id("W1")));
        VERIFY_REFUSED(f, "delete while blocked",
            s.performWithItemSelected(f.id("W2"), [&] { s.deleteSelectedItem(); }));
        s.setEditingBlocked(false);
        startCompleting(f, "W1");
        f.select("I1");
        VERIFY_REFUSED(f, "complete a row in transition", s.completeItem(f.id("W1")));
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

        // A move that lands later still gives the selection back.
        f.select("I1");
        s.performWithItemSelected(f.id("W3"), [&] { s.moveSelectedItemToPending(); });
        f.scheduler.advance(0.28 + 0.32);
        QCOMPARE(f.titles(TaskSection::inbox), (QStringList {"W3", "I1"}));
        QCOMPARE(s.selection(), f.task("I1"));
    }

    void selectionGivenBackAfterARowAction()
    {
        Fixture f;
        f.load({"W1", "W2"}, {"I1"});
        auto& s = f.session;
        // Selection before acting on W1, whether the input row is open, the selection afterwards
        // when the action left W2 selected. "input" without an input row, the acted-on row W1 and a
        // vanished task leave it as the action left it.
        const QList<std::tuple<QString, bool, QString>> cases {{"none", false, "none"},
            {"input", false, "W2"}, {"input", true, "input"}, {"W1", false, "W2"}, {"I1", false, "I1"},
            {"stale", false, "W2"}};
        for (const auto& [restored, inputOpen, expected] : cases) {
            s.cancelNewItem();
            if (inputOpen)
                s.beginCreatingNewItem();
            f.select(restored);
            s.performWithItemSelected(f.id("W1"), [&] { f.select("W2"); });
            QVERIFY2(s.selection() == f.named(expected), qPrintable(restored));
        }
    }
};

QTEST_GUILESS_MAIN(SessionPasteboardTest)
#include "SessionPasteboardTest.moc"
