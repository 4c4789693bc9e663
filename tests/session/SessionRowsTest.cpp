#include "SessionTestSupport.h"

#include <QLocale>
#include <QRegularExpression>

class SessionRowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void emptySessionShowsSpacersAndSeparators();
    void rowsCarryTaskFieldsAndCanonicalIdentifiers();
    void inputRowOpensTheInboxPart();
    void filterMatchesOneSubstringOfTitleOrNote_data();
    void filterMatchesOneSubstringOfTitleOrNote();
    void filterHidingASectionShowsItsSpacer();
    void filterFollowsTurkishCaseRules();
    void filterNoticesEditedText();
    void shellReplacesTaskRowBetweenPreviewAndLanding();
    void moveShellAppearsAtOnce();
    void settingFilterKeepsOrResolvesSelection();
};

void SessionRowsTest::emptySessionShowsSpacersAndSeparators()
{
    SessionHarness h;
    QCOMPARE(h.rowIDs(),
        QStringList(
            {"spacer-working", "separator-working", "spacer-inbox", "separator-inbox", "spacer-completed"}));
    for (const RenderedRow& row : h.session.renderedRows())
        if (row.kind == RenderedRow::Kind::spacer)
            QCOMPARE(row.height, 12.0);
    QVERIFY(SessionController::selectableTargets(h.session.renderedRows()).isEmpty());

    h.session.beginCreatingNewItem("typed");
    QCOMPARE(h.rowIDs(),
        QStringList({"spacer-working", "separator-working", "input", "spacer-inbox", "separator-inbox",
            "spacer-completed"}));
    QCOMPARE(h.session.renderedRows().at(2), RenderedRow::input("typed"));
    QCOMPARE(SessionController::selectableTargets(h.session.renderedRows()),
        QList<SessionSelection>({SessionSelection::input()}));
}

void SessionRowsTest::rowsCarryTaskFieldsAndCanonicalIdentifiers()
{
    SessionHarness h;
    h.load({"W1", "W2|note"}, {}, {"C1"});
    const QList<RenderedRow> rows = h.session.renderedRows();
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[0], RenderedRow::task(h.id("W1"), TaskSection::working, false, "W1", std::nullopt));
    QCOMPARE(rows[1], RenderedRow::task(h.id("W2"), TaskSection::working, false, "W2", QString("note")));
    QCOMPARE(rows[2], RenderedRow::separator(TaskSection::working));
    QCOMPARE(rows[3], RenderedRow::spacer(TaskSection::inbox, 12));
    QCOMPARE(rows[4], RenderedRow::separator(TaskSection::inbox));
    QCOMPARE(rows[5], RenderedRow::task(h.id("C1"), TaskSection::completed, true, "C1", std::nullopt));

    const QRegularExpression canonical(
        "^task-working-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    QVERIFY2(canonical.match(rows[0].id()).hasMatch(), qPrintable(rows[0].id()));
    QCOMPARE(rows[0].id(), "task-working-" + h.id("W1").toString(QUuid::WithoutBraces).toUpper());
    QCOMPARE(rows[5].id(), "task-completed-" + h.id("C1").toString(QUuid::WithoutBraces).toUpper());
    const RenderedRow shell
        = RenderedRow::completionShell(h.id("W1"), TaskSection::inbox, "W1", std::nullopt, false);
    QCOMPARE(shell.id(), "completion-shell-inbox-" + h.id("W1").toString(QUuid::WithoutBraces).toUpper());
    QVERIFY(!(shell == RenderedRow::task(h.id("W1"), TaskSection::inbox, false, "W1", std::nullopt)));

    QCOMPARE(SessionController::selectableTargets(rows),
        QList<SessionSelection>({h.task("W1"), h.task("W2"), h.task("C1")}));
}

void SessionRowsTest::inputRowOpensTheInboxPart()
{
    SessionHarness h;
    h.load({"W"}, {"I1", "I2"}, {"C"});
    h.session.beginCreatingNewItem();
    QCOMPARE(h.rowNames(),
        QStringList({"task-working-W", "separator-working", "input", "task-inbox-I1", "task-inbox-I2",
            "separator-inbox", "task-completed-C"}));
}

void SessionRowsTest::filterMatchesOneSubstringOfTitleOrNote_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("visible");

    const QStringList all {"Buy Milk today", "buy the milk", "Call Ann", "Plan"};
    QTest::newRow("empty") << "" << all;
    QTest::newRow("only spaces") << "   " << all;
    QTest::newRow("spaces and newlines") << " \n\t " << all;
    QTest::newRow("case-insensitive") << "MILK" << QStringList({"Buy Milk today", "buy the milk", "Plan"});
    QTest::newRow("inner spaces count") << "buy milk" << QStringList({"Buy Milk today"});
    QTest::newRow("outer spaces are trimmed") << "  buy milk  " << QStringList({"Buy Milk today"});
    QTest::newRow("word in note") << "prices" << QStringList({"Plan"});
    QTest::newRow("across title and note") << "plan\nask" << QStringList({"Plan"});
    QTest::newRow("no match") << "zebra" << QStringList();
}

void SessionRowsTest::filterMatchesOneSubstringOfTitleOrNote()
{
    QFETCH(QString, query);
    QFETCH(QStringList, visible);
    SessionHarness h;
    h.load({}, {"Buy Milk today", "buy the milk", "Call Ann", "Plan|ask about MILK prices"});
    h.session.setFilterQuery(query);
    QStringList titles;
    for (const QUuid& id : h.session.visibleItemIDs(TaskSection::inbox))
        titles.append(h.session.itemsByID().value(id).title);
    QCOMPARE(titles, visible);
    for (const SessionItem& item : h.session.itemsByID())
        QCOMPARE(h.session.matchesFilter(item.id), visible.contains(item.title));
    QVERIFY(!h.session.matchesFilter(QUuid::createUuid()));
    QCOMPARE(h.session.renderedRows().size(), 3 + qMax<qsizetype>(1, visible.size()) + 1);
}

void SessionRowsTest::filterHidingASectionShowsItsSpacer()
{
    SessionHarness h;
    h.load({"alpha", "beta"}, {"gamma"}, {"alphabet"});
    h.session.setFilterQuery("alpha");
    QCOMPARE(h.rowNames(),
        QStringList({"task-working-alpha", "separator-working", "spacer-inbox", "separator-inbox",
            "task-completed-alphabet"}));
    h.session.setFilterQuery("gamma");
    QCOMPARE(h.rowNames(),
        QStringList({"spacer-working", "separator-working", "task-inbox-gamma", "separator-inbox",
            "spacer-completed"}));
    QVERIFY(h.session.visibleItemIDs(TaskSection::working).isEmpty());
    QCOMPARE(h.session.itemIDs(TaskSection::working).size(), 2);
}

void SessionRowsTest::filterFollowsTurkishCaseRules()
{
    SessionHarness h;
    h.load({"İstanbul", "ılık su", "IŞIK", "INBOX zero"});
    const auto visible = [&h](const QString& query) {
        h.session.setFilterQuery(query);
        QStringList titles;
        for (const QUuid& id : h.session.visibleItemIDs(TaskSection::working))
            titles.append(h.session.itemsByID().value(id).title);
        return titles;
    };

    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    QCOMPARE(visible("ist"), QStringList({"İstanbul"}));
    QCOMPARE(visible("İST"), QStringList({"İstanbul"}));
    QCOMPARE(visible("ILIK"), QStringList({"ılık su"})); // dotless capital I is dotless small ı
    QCOMPARE(visible("ışık"), QStringList({"IŞIK"}));
    QCOMPARE(visible("isik"), QStringList());
    // Plain ASCII text follows the same rules.
    QCOMPARE(visible("ınbox"), QStringList({"INBOX zero"}));
    QCOMPARE(visible("inbox"), QStringList());

    // Under English rules capital I is small i, so the same query no longer finds the dotless word;
    // the folded texts are recomputed for the new locale.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(visible("ILIK"), QStringList());
    QCOMPARE(visible("ışık"), QStringList());
    QCOMPARE(visible("ist"), QStringList({"İstanbul"}));
    QCOMPARE(visible("inbox"), QStringList({"INBOX zero"}));
    QCOMPARE(visible("ınbox"), QStringList());
}

void SessionRowsTest::filterNoticesEditedText()
{
    SessionHarness h;
    h.load({"first", "second|old note", "third"});
    h.session.setFilterQuery("renamed");
    QVERIFY(h.session.visibleItemIDs(TaskSection::working).isEmpty());
    h.session.beginEditingItem(h.id("first"));
    h.session.updateInlineEditDraft("Renamed");
    h.session.commitInlineEdit();
    QCOMPARE(h.session.visibleItemIDs(TaskSection::working), QList<QUuid>({h.id("Renamed")}));
    h.session.undo();
    QVERIFY(h.session.visibleItemIDs(TaskSection::working).isEmpty());

    // A changed note alone is noticed too, and the unchanged tasks around it still match.
    h.session.setFilterQuery("note");
    QCOMPARE(h.rowNames().first(), QString("task-working-second"));
    h.session.beginEditingItem(h.id("second"));
    h.session.updateInlineEditDraft("second\nrenamed");
    h.session.commitInlineEdit();
    QVERIFY(h.session.visibleItemIDs(TaskSection::working).isEmpty());
    h.session.setFilterQuery("d");
    QCOMPARE(h.session.visibleItemIDs(TaskSection::working), QList<QUuid>({h.id("second"), h.id("third")}));
}

void SessionRowsTest::shellReplacesTaskRowBetweenPreviewAndLanding()
{
    SessionHarness h;
    h.load({"A", "B"});
    const QUuid a = h.id("A");
    h.session.toggleSelectedItemCompletion();
    // During the preview the row is still the task row.
    QCOMPARE(h.rowNames().first(), QString("task-working-A"));

    QStringList rowsWithShell;
    connect(&h.session, &SessionController::completionShellChanged, this, [&] {
        if (h.session.completionShell())
            rowsWithShell = h.rowNames();
    });
    h.scheduler.advance(0.4);
    QCOMPARE(rowsWithShell,
        QStringList({"completion-shell-working-A", "task-working-B", "separator-working", "spacer-inbox",
            "separator-inbox", "spacer-completed"}));
    QCOMPARE(SessionController::selectableTargets(h.session.renderedRows()).first(), h.task("B"));
    // Landed: the task row is in the completed section and the shell is gone.
    QCOMPARE(h.rowNames(),
        QStringList(
            {"task-working-B", "separator-working", "spacer-inbox", "separator-inbox", "task-completed-A"}));
    QCOMPARE(h.session.renderedRows().last().isCompleted, true);
    QCOMPARE(h.session.completionTransitionItemID(), a);
}

void SessionRowsTest::moveShellAppearsAtOnce()
{
    SessionHarness h;
    h.load({"A", "B"}, {"I"});
    h.session.toggleSelectedItemToday(); // A leaves working for the inbox
    const QList<RenderedRow> rows = h.session.renderedRows();
    QCOMPARE(rows.first(),
        RenderedRow::completionShell(h.id("A"), TaskSection::working, "A", std::nullopt, false));
    QCOMPARE(h.rowNames().first(), QString("completion-shell-working-A"));

    // A filter that hides the task hides its shell too.
    h.session.setFilterQuery("B");
    QCOMPARE(h.rowNames().first(), QString("task-working-B"));
    h.session.setFilterQuery("");

    h.scheduler.runDueJobs();
    QCOMPARE(h.rowNames(),
        QStringList({"task-working-B", "separator-working", "task-inbox-A", "task-inbox-I", "separator-inbox",
            "spacer-completed"}));
}

void SessionRowsTest::settingFilterKeepsOrResolvesSelection()
{
    SessionHarness h;
    h.load({"apple", "banana"}, {"cherry"});
    h.select("banana");
    int reveal = h.session.selectionRevealRevision();

    h.session.setFilterQuery("an"); // banana still visible
    QCOMPARE(h.session.selection(), h.task("banana"));
    QCOMPARE(h.session.selectionRevealRevision(), ++reveal);

    // The same text again changes nothing, though the assignment still notifies.
    QSignalSpy filter(&h.session, &SessionController::filterQueryChanged);
    QSignalSpy selection(&h.session, &SessionController::selectionChanged);
    h.session.setFilterQuery("an");
    QCOMPARE(filter.count(), 1);
    QCOMPARE(selection.count(), 0);
    QCOMPARE(h.session.selectionRevealRevision(), reveal);

    h.session.setFilterQuery("err"); // hides banana: the first visible task
    QCOMPARE(h.session.selection(), h.task("cherry"));
    QCOMPARE(h.session.selectionRevealRevision(), ++reveal);

    h.session.setFilterQuery("zzz");
    QCOMPARE(h.session.selection(), SessionSelection::none());

    h.session.setFilterQuery("");
    h.session.beginCreatingNewItem();
    h.select("apple");
    h.session.setFilterQuery("cherry"); // hides apple while the input row is open
    QCOMPARE(h.session.selection(), SessionSelection::input());

    // The filter is no edit: allowed while blocked, no undo step, no callback.
    h.session.setEditingBlocked(true);
    h.session.setFilterQuery("ban");
    QCOMPARE(h.session.filterQuery(), QString("ban"));
    QCOMPARE(h.session.undoStack().size(), 0);
    QCOMPARE(h.commits, 0);
}

QTEST_GUILESS_MAIN(SessionRowsTest)
#include "SessionRowsTest.moc"
