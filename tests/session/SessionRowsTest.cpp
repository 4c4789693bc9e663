#include "SessionTestSupport.h"

#include "session/IdleFolding.h"
#include "session/LoadedContent.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <thread>

class SessionRowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void rowsShowSectionsWithSeparatorsSpacersAndTheInputRow();
    void filterMatchesOneSubstringOfTitleOrNote_data();
    void filterMatchesOneSubstringOfTitleOrNote();
    void foldingAheadWaitsForQuietAndGoesBySlices();
    void forgottenTextsAreHeldByWhoeverTakesThem();
    void filterFollowsTurkishCaseRules();
    void filterNoticesEditedText();
    void shellsReplaceTaskRowsWhileTheyMove();
    void settingFilterKeepsOrResolvesSelection();
    void updatedRowsMatchAFreshDerivation();
    void rowsMadeWithALoadedListAreTheRowsAnUpdateMakes();
    void clearedSearchGivesEveryRowBackInOneList();
};

void SessionRowsTest::rowsShowSectionsWithSeparatorsSpacersAndTheInputRow()
{
    SessionHarness h;
    QCOMPARE(h.rowsText(), QString("_ | _ | _"));
    QCOMPARE(h.session.renderedRows().first(), RenderedRow::spacer(TaskSection::working, 12));
    QVERIFY(h.targets().isEmpty());
    h.session.beginCreatingNewItem("typed");
    QCOMPARE(h.rowsText(), QString("_ | > _ | _"));
    QCOMPARE(h.session.renderedRows().at(2), RenderedRow::input("typed"));
    QCOMPARE(h.targets(), QList<SessionSelection>({SessionSelection::input()}));

    h.loadLists("W1 W2|note | | C1");
    QList<RenderedRow> rows = h.session.renderedRows();
    QCOMPARE(h.rowsText(), QString("W1 W2 | _ | C1"));
    QCOMPARE(rows[1], RenderedRow::task(h.id("W2"), TaskSection::working, false));
    QCOMPARE(rows[1].text(h.session.itemsByID()), (RenderedRow::Text {"W2", QString("note")}));
    QCOMPARE(rows[5], RenderedRow::task(h.id("C1"), TaskSection::completed, true));
    QCOMPARE(rows[5].text(h.session.itemsByID()), (RenderedRow::Text {"C1", std::nullopt}));
    QCOMPARE(h.targets(), QList<SessionSelection>({h.task("W1"), h.task("W2"), h.task("C1")}));
    // The view follows each row by its identifier, so no two rows share one.
    QSet<QString> ids;
    for (const RenderedRow& row : rows)
        ids.insert(row.id());
    QCOMPARE(ids.size(), rows.size());

    h.loadLists("W | I1 I2 | C");
    h.session.beginCreatingNewItem();
    QCOMPARE(h.rowsText(), QString("W | > I1 I2 | C"));

    // A section the filter empties shows its spacer.
    h.loadLists("alpha beta | gamma | alphabet");
    h.session.setFilterQuery("alpha");
    QCOMPARE(h.rowsText(), QString("alpha | _ | alphabet"));
    h.session.setFilterQuery("gamma");
    QCOMPARE(h.rowsText(), QString("_ | gamma | _"));
}

void SessionRowsTest::filterMatchesOneSubstringOfTitleOrNote_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("visible");

    const QString precomposed = QStringView(u"Caf\u00E9 on K\u00F6nigstra\u00DFe").toString();
    const QString decomposed = QStringView(u"cafe\u0301 au lait").toString();
    const QStringList all {"Buy Milk today", "buy the milk", "Call Ann", "Plan", precomposed, decomposed};
    const QStringList milk {"Buy Milk today", "buy the milk", "Plan"};
    QTest::newRow("empty") << QStringList() << "" << all;
    QTest::newRow("spaces and newlines") << QStringList() << " \n\t " << all;
    QTest::newRow("case-insensitive") << QStringList() << "MILK" << milk;
    QTest::newRow("inner spaces count, outer are trimmed")
        << QStringList() << "  buy milk  " << QStringList({"Buy Milk today"});
    QTest::newRow("word in note") << QStringList() << "prices" << QStringList({"Plan"});
    QTest::newRow("across title and note") << QStringList() << "plan\nask" << QStringList({"Plan"});
    QTest::newRow("not across two tasks") << QStringList() << "todaybuy" << QStringList();
    QTest::newRow("no match") << QStringList() << "zebra" << QStringList();
    // Canonically equivalent spellings and full case folding meet.
    QTest::newRow("decomposed query")
        << QStringList() << QStringView(u"CAFE\u0301").toString() << QStringList({precomposed, decomposed});
    QTest::newRow("precomposed query")
        << QStringList() << QStringView(u"caf\u00C9").toString() << QStringList({precomposed, decomposed});
    QTest::newRow("sharp s") << QStringList() << "STRASSE" << QStringList({precomposed});

    // Typed a letter at a time, and changed on the way ("?query" types, "=old>new" edits a task,
    // "+title" adds one, "-title" deletes it, "^title>index" moves it in the inbox, "#n" adds n
    // tasks, every other one holding "milk", "&" edits each of those in or out of holding it at
    // once, "<" undoes, "%n" opens the list again with n such tasks after the others, "*" runs the
    // next scheduled job, such as a slice of folding ahead).
    QTest::newRow("typed, folded on the way")
        << QStringList({"?s", "?St", "?STR", "?stra", "?STRAS", "?strass"}) << "STRASSE"
        << QStringList({precomposed});
    QTest::newRow("accent typed after the letter")
        << QStringList({"?c", "?CA", "?caf", "?cafe"}) << QStringView(u"cafe\u0301").toString()
        << QStringList({precomposed, decomposed});
    QTest::newRow("back from an accent") << QStringList({"?caf", QStringView(u"?caf\u00C9").toString()})
                                         << "CAF" << QStringList({precomposed, decomposed});
    QTest::newRow("edited to match, then a letter more")
        << QStringList({"?mi", "=Call Ann>Call Ann for milk"}) << "mil"
        << QStringList({"Buy Milk today", "buy the milk", "Call Ann for milk", "Plan"});
    QTest::newRow("edited to match, then BackSpace")
        << QStringList({"?mil", "?milk", "?milk s", "=Call Ann>Call Ann for milk"}) << "mil"
        << QStringList({"Buy Milk today", "buy the milk", "Call Ann for milk", "Plan"});
    QTest::newRow("edited and undone, then BackSpace")
        << QStringList({"?mil", "=Call Ann>Call Ann for milk", "?milk", "<"}) << "mil" << milk;
    QTest::newRow("added, then a letter more")
        << QStringList({"?mil", "+Milk shake"}) << "milk"
        << QStringList({"Milk shake", "Buy Milk today", "buy the milk", "Plan"});
    QTest::newRow("deleted, then a letter more")
        << QStringList({"?mil", "-buy the milk"}) << "milk" << QStringList({"Buy Milk today", "Plan"});
    QTest::newRow("moved, then BackSpace") << QStringList({"?mil", "?milk", "^Plan>0"}) << "mil"
                                           << QStringList({"Plan", "Buy Milk today", "buy the milk"});
    QTest::newRow("moved far up, then a letter more") << QStringList(
        {"?mil", "#600", "^Plan>0"}) << "milk" << QStringList({"Plan", "Buy Milk today", "buy the milk"});
    QTest::newRow("moved far down, then a letter more")
        << QStringList({"#70", "+Milk shake", "?mil", "^Milk shake>76"}) << "milk"
        << QStringList({"Buy Milk today", "buy the milk", "Plan", "Milk shake"});
    QTest::newRow("many edited at once, then a letter more")
        << QStringList({"#30", "?mil", "&"}) << "milk" << milk;
    QTest::newRow("many added while not filtering")
        << QStringList({"?mil", "?", "#300", "=Call Ann>Call Ann milk"}) << "mil"
        << QStringList({"Buy Milk today", "buy the milk", "Call Ann milk", "Plan"});
    // Folding ahead, a slice at a time, over a list that takes several slices.
    QTest::newRow("typed before folding ahead") << QStringList({"%9000", "?mi"}) << "milk" << milk;
    QTest::newRow("typed while folding ahead") << QStringList({"%9000", "*", "?mi"}) << "milk" << milk;
    QTest::newRow("typed after folding ahead")
        << QStringList({"%9000", "*", "*", "*", "*", "*"}) << "milk" << milk;
    QTest::newRow("changed while folding ahead")
        << QStringList({"%9000", "*", "=Call Ann>Call Ann milk", "+Milk shake", "^Plan>7000", "-buy the milk",
               "=filler 8001 milk>filler 8001", "*", "*", "?mil", "=filler 8003 milk>filler 8003", "?", "*",
               "*", "*", "*", "*"})
        << "milk" << QStringList({"Milk shake", "Buy Milk today", "Call Ann milk", "Plan"});
    QTest::newRow("opened again while folding ahead")
        << QStringList({"%9000", "*", "%5000", "*", "*", "^Plan>0"}) << "milk"
        << QStringList({"Plan", "Buy Milk today", "buy the milk"});

    // Folded text beyond Latin-1 (œ, ũ) beside text within it, arriving in every way.
    const QString oeuvre = QStringView(u"\u0152uvre milk").toString();
    QTest::newRow("wider text added while filtering")
        << QStringList({"?mil", "+" + oeuvre}) << QStringView(u"\u0152UV").toString()
        << QStringList({oeuvre});
    QTest::newRow("wider text edited in, then the rows around it")
        << QStringList({"?mil", "=Call Ann>" + oeuvre, "?milk"}) << "mil"
        << QStringList({"Buy Milk today", "buy the milk", oeuvre, "Plan"});
    QTest::newRow("wider text edited in, accents kept")
        << QStringList({"?caf", "=Call Ann>" + oeuvre}) << QStringView(u"CAF\u00C9").toString()
        << QStringList({precomposed, decomposed});
    QTest::newRow("wider text, then many added while filtering")
        << QStringList({"=Call Ann>" + oeuvre, "?mil", "#600"}) << QStringView(u"\u0153uvre").toString()
        << QStringList({oeuvre});
    QTest::newRow("wider query") << QStringList() << QStringView(u"m\u0169lk").toString() << QStringList();
    QTest::newRow("wider query, typed")
        << QStringList({"?m", "?mi"}) << QStringView(u"m\u0169").toString() << QStringList();
    QTest::newRow("wider text, not across two tasks")
        << QStringList({"=Call Ann>" + QStringView(u"Call \u0152").toString()})
        << QStringView(u"\u0153plan").toString() << QStringList();
}

void SessionRowsTest::filterMatchesOneSubstringOfTitleOrNote()
{
    QFETCH(QStringList, before);
    QFETCH(QString, query);
    QFETCH(QStringList, visible);
    SessionHarness h;
    const QStringList inbox {"Buy Milk today", "buy the milk", "Call Ann", "Plan|ask about MILK prices",
        QStringView(u"Caf\u00E9 on K\u00F6nigstra\u00DFe").toString(),
        QStringView(u"cafe\u0301 au lait").toString()};
    h.load({}, inbox);
    for (const QString& step : before) {
        const QString argument = step.mid(1);
        const QStringList parts = argument.split('>');
        switch (step.at(0).unicode()) {
        case '?':
            h.session.setFilterQuery(argument);
            h.session.renderedRows();
            break;
        case '=':
            h.session.beginEditingItem(h.id(parts[0]));
            h.session.updateInlineEditDraft(parts[1]);
            h.session.commitInlineEdit();
            break;
        case '+':
            h.session.beginCreatingNewItem(argument);
            h.session.commitNewItem();
            break;
        case '-':
            h.select(argument);
            h.session.deleteSelectedItem();
            break;
        case '^':
            h.session.moveItem(h.id(parts[0]), TaskSection::inbox, parts[1].toInt(), false);
            break;
        case '#':
            for (int i = 0; i < argument.toInt(); ++i) {
                h.session.beginCreatingNewItem(QString(i % 2 ? "filler %1 milk" : "filler %1").arg(i));
                h.session.commitNewItem();
                h.session.renderedRows();
            }
            break;
        case '&':
            for (const QString& title : h.titles(TaskSection::inbox)) {
                if (!title.startsWith("filler"))
                    continue;
                h.session.beginEditingItem(h.id(title));
                h.session.updateInlineEditDraft(
                    title.endsWith(" milk") ? title.chopped(5) : title + QStringLiteral(" milk"));
                h.session.commitInlineEdit();
            }
            break;
        case '<':
            h.session.undo();
            break;
        case '%': {
            QStringList lists = inbox;
            for (int i = 0; i < argument.toInt(); ++i)
                lists << QString(i % 2 ? "filler %1 milk" : "filler %1").arg(i);
            h.load({}, lists);
            break;
        }
        case '*':
            if (h.scheduler.pendingCount() > 0)
                h.scheduler.advance(h.scheduler.nextDueTime() - h.scheduler.now());
            break;
        }
        h.session.renderedRows();
    }
    h.session.setFilterQuery(query);
    // The added tasks are plain text: they match when they hold the query as it is.
    const auto isFiller = [](const QString& title) { return title.startsWith("filler"); };
    QStringList fillers;
    for (const QString& title : h.titles(TaskSection::inbox))
        if (isFiller(title) && title.contains(query.trimmed(), Qt::CaseInsensitive))
            fillers << title;
    QStringList shown = h.visibleTitles(TaskSection::inbox);
    QCOMPARE(shown.filter(QRegularExpression("^filler")), fillers);
    shown.removeIf(isFiller);
    QCOMPARE(shown, visible);
}

void SessionRowsTest::foldingAheadWaitsForQuietAndGoesBySlices()
{
    ManualScheduler scheduler;
    QObject context;
    SessionState state;
    SessionFilter filter;
    IdleFolding folding(state, filter, &scheduler, &context);
    const auto open = [&](qsizetype count) {
        SessionItemMap items;
        QList<QUuid> inbox;
        for (qsizetype i = 0; i < count; ++i) {
            const QUuid id = QUuid::createUuid();
            items.insert(id, SessionItem {id, QString("task %1").arg(i), std::nullopt});
            inbox.append(id);
        }
        state.replaceContent(items, {}, inbox, {});
        folding.changed();
    };
    // Whether a keystroke now would find every text folded.
    const auto ready = [&] { return filter.prepare(state, 0); };
    const auto runNextJob = [&] { scheduler.advance(scheduler.nextDueTime() - scheduler.now()); };

    open(IdleFolding::sliceRows * 5 / 2);
    // A list just opened is folded soon after it opens (its first frame goes first), by slices,
    // long before a search could be typed.
    scheduler.advance(IdleFolding::openingDelay * 0.9);
    QVERIFY(!ready());
    runNextJob();
    QVERIFY(!ready());
    int slices = 1;
    for (; scheduler.pendingCount() > 0; ++slices)
        runNextJob();
    QVERIFY(ready());
    QCOMPARE(slices, 3);
    QVERIFY(scheduler.now() < IdleFolding::openingDelay + 3 * IdleFolding::slicePause + 0.001);

    // Once folded, a burst of changes goes first: folding waits for the quiet time after them.
    double lastChange = 0;
    for (int i = 0; i < 4; ++i) {
        state.itemsForChange()[state.itemIDs(TaskSection::inbox).at(i)].title += "!";
        folding.changed();
        lastChange = scheduler.now();
        scheduler.advance(IdleFolding::quietDelay / 2);
    }
    scheduler.advance(IdleFolding::quietDelay * 0.4);
    QCOMPARE(scheduler.pendingCount(), 1); // still waiting
    QVERIFY(scheduler.nextDueTime() > lastChange + IdleFolding::quietDelay - 0.003);
    runNextJob();
    QCOMPARE(scheduler.pendingCount(), 0);
    QVERIFY(ready());
    // Only the edited texts were folded again: the search sees them.
    filter.setQuery("!");
    QCOMPARE(filter.matchingRows(state, TaskSection::inbox).count(), 4);

    // Opened again, then one task edited: folded again, and nothing left running.
    open(100);
    scheduler.advance(IdleFolding::quietDelay);
    QVERIFY(ready());
    state.itemsForChange()[state.itemIDs(TaskSection::inbox).at(7)].title = "edited";
    folding.changed();
    scheduler.advance(IdleFolding::quietDelay);
    QCOMPARE(scheduler.pendingCount(), 0);
    filter.setQuery("edit");
    QCOMPARE(filter.matchingRows(state, TaskSection::inbox).count(), 1);

    // A command committed on a list just opened goes first, with its save.
    {
        SessionState edited;
        SessionFilter editedFilter;
        IdleFolding committedFirst(edited, editedFilter, &scheduler, &context);
        const QUuid id = QUuid::createUuid();
        edited.replaceContent(SessionItemMap({SessionItem {id, "task", std::nullopt}}), {}, {id}, {});
        committedFirst.changed();
        committedFirst.changed(true);
        scheduler.advance(IdleFolding::quietDelay * 0.9);
        QVERIFY(!editedFilter.prepare(edited, 0));
        scheduler.advance(IdleFolding::quietDelay * 0.2);
        QVERIFY(editedFilter.prepare(edited, 0));
    }
}

void SessionRowsTest::forgottenTextsAreHeldByWhoeverTakesThem()
{
    // When a load replaces the tasks, the folded texts and what they were folded from go with what
    // the load replaced, to be freed where the caller chooses (a long list's take milliseconds),
    // not on the spot.
    SessionState state;
    SessionFilter filter;
    SessionItemMap items;
    QList<QUuid> inbox;
    for (int i = 0; i < 600; ++i) {
        const QUuid id = QUuid::createUuid();
        items.insert(id, SessionItem {id, QString("task %1").arg(i), std::nullopt});
        inbox.append(id);
    }
    state.replaceContent(items, {}, inbox, {});
    QVERIFY(filter.prepare(state, -1));
    // The list the texts were folded along, held by the filter alone once the session's changes.
    const ItemIDList folded = state.itemIDs(TaskSection::inbox);
    state.replaceContent(items, {}, inbox.mid(1), {});
    QVERIFY(!folded.isDetached());

    std::shared_ptr<const void> forgotten = filter.forgetTexts();
    QVERIFY(!folded.isDetached());
    forgotten.reset();
    QVERIFY(folded.isDetached());

    // Folded afresh from the session's tasks.
    filter.setQuery(QStringLiteral("task 5"));
    const FilterMatches& matches = filter.matchingRows(state, TaskSection::inbox);
    for (qsizetype row = 0; row < inbox.size() - 1; ++row)
        QCOMPARE(matches.contains(row), QString("task %1").arg(row + 1).contains(QStringLiteral("task 5")));
}

void SessionRowsTest::filterFollowsTurkishCaseRules()
{
    SessionHarness h;
    h.load({"İstanbul", "ılık su", "IŞIK", "INBOX zero"});
    const auto visible = [&h](const QString& query) {
        h.session.setFilterQuery(query);
        return h.visibleTitles(TaskSection::working);
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
    h.loadLists("first second|old third");
    h.session.setFilterQuery("renamed");
    QCOMPARE(h.rowsText(), QString("_ | _ | _"));
    h.session.beginEditingItem(h.id("first"));
    h.session.updateInlineEditDraft("Renamed");
    h.session.commitInlineEdit();
    QCOMPARE(h.rowsText(), QString("Renamed | _ | _"));
    h.session.undo();
    QCOMPARE(h.rowsText(), QString("_ | _ | _"));

    // A changed note alone is noticed too, and the unchanged tasks around it still match.
    h.session.setFilterQuery("old");
    QCOMPARE(h.rowsText(), QString("second | _ | _"));
    h.session.beginEditingItem(h.id("second"));
    h.session.updateInlineEditDraft("second\nrenamed");
    h.session.commitInlineEdit();
    QCOMPARE(h.rowsText(), QString("_ | _ | _"));
    h.session.setFilterQuery("d");
    QCOMPARE(h.rowsText(), QString("second third | _ | _"));
}

void SessionRowsTest::shellsReplaceTaskRowsWhileTheyMove()
{
    SessionHarness h;
    h.loadLists("A B");
    h.session.toggleSelectedItemCompletion();
    QCOMPARE(h.rowsText(), QString("A B | _ | _")); // the preview is still the task row
    QString rowsWithShell;
    connect(&h.session, &SessionController::completionShellChanged, this, [&] {
        if (h.session.completionShell())
            rowsWithShell = h.rowsText();
    });
    h.scheduler.advance(0.4);
    QCOMPARE(rowsWithShell, QString("~A B | _ | _"));
    QCOMPARE(h.rowsText(), QString("B | _ | A")); // landed: the shell is gone
    QVERIFY(h.session.renderedRows().last().isCompleted);
    h.scheduler.advance(1);

    // A move's shell appears at once; a filter that hides the task hides its shell too.
    h.loadLists("A B | I");
    h.session.toggleSelectedItemToday();
    QCOMPARE(h.session.renderedRows().first(),
        RenderedRow::completionShell(h.id("A"), TaskSection::working, "A", std::nullopt, false));
    QCOMPARE(h.targets().first(), h.task("B"));
    h.session.setFilterQuery("B");
    QCOMPARE(h.rowsText(), QString("B | _ | _"));
    h.session.setFilterQuery("");
    h.scheduler.runDueJobs();
    QCOMPARE(h.rowsText(), QString("B | A I | _"));
}

void SessionRowsTest::settingFilterKeepsOrResolvesSelection()
{
    SessionHarness h;
    h.loadLists("apple banana | cherry");
    h.select("banana");
    int reveal = h.session.selectionRevealRevision();

    h.session.setFilterQuery("an"); // banana still visible
    QCOMPARE(h.session.selection(), h.task("banana"));
    QCOMPARE(h.session.selectionRevealRevision(), ++reveal);

    // The same text again changes nothing.
    h.session.setFilterQuery("an");
    QCOMPARE(h.session.selection(), h.task("banana"));
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
}

// Readers that bring their rows up to date by splices, after every step or after several (as the
// session's own list of rows does), hold the rows a fresh derivation gives, whatever commands,
// transitions, edits, undo and filters ran.
void SessionRowsTest::updatedRowsMatchAFreshDerivation()
{
    SessionHarness h;
    QStringList working, inbox, completed;
    const QStringList words {"red", "green", "blue urgent"};
    for (int i = 0; i < 300; ++i)
        (i < 150 ? working : i < 250 ? inbox : completed) << QString("task %1 %2").arg(i).arg(words[i % 3]);
    h.load(working, inbox, completed);
    QRandomGenerator random(17);
    const auto pick = [&] {
        const TaskSection section = allTaskSections[random.bounded(3)];
        const ItemIDList& ids = h.session.itemIDs(section);
        if (!ids.isEmpty())
            h.session.setSelection(SessionSelection::task(ids.at(random.bounded(int(ids.size())))));
    };
    const QStringList queries {"", "", "red", "re", "urgent", "task 1", "zzz"};
    const QList<std::function<void()>> commands {
        [&] { h.session.moveSelectedItem(random.bounded(2) ? 1 : -1); },
        [&] { h.session.deleteSelectedItem(); },
        [&] { h.session.toggleSelectedItemCompletion(); },
        [&] { h.session.toggleSelectedItemToday(); },
        [&] { h.scheduler.advance(0.2); },
        [&] { h.session.undo(); },
        [&] { h.session.redo(); },
        [&] { h.session.setFilterQuery(queries[random.bounded(int(queries.size()))]); },
        [&] {
            h.session.beginCreatingNewItem("new red task");
            if (random.bounded(2))
                h.session.setInputDraft("new blue task");
            if (random.bounded(2))
                h.session.commitNewItem();
        },
        [&] {
            h.session.cancelNewItem();
            h.session.beginEditingSelectedItem();
            h.session.updateInlineEditDraft(QString("edited %1 red").arg(random.bounded(1000)));
            h.session.commitInlineEdit();
        },
        [&] {
            // Many tasks edited between two looks at the rows.
            h.session.cancelNewItem();
            for (int i = 0; i < 12; ++i) {
                pick();
                h.session.beginEditingSelectedItem();
                h.session.updateInlineEditDraft(
                    QString("task %1 %2").arg(random.bounded(1000)).arg(words[i % 3]));
                h.session.commitInlineEdit();
            }
        },
        [&] {
            // The completed section emptied: its spacer comes (and goes with the next undo).
            while (!h.session.itemIDs(TaskSection::completed).isEmpty()) {
                h.session.setSelection(
                    SessionSelection::task(h.session.itemIDs(TaskSection::completed).first()));
                h.session.deleteSelectedItem();
            }
        },
        [&] {
            // A drag: far moves, once transitions have landed.
            h.scheduler.advance(1);
            h.session.cancelNewItem();
            if (random.bounded(2))
                h.session.setFilterQuery("");
            const ItemIDList& ids = h.session.itemIDs(TaskSection::working);
            if (ids.size() > 2)
                h.session.moveItem(ids.at(random.bounded(int(ids.size()))), TaskSection::working,
                    random.bounded(int(ids.size())), false);
        },
    };
    // Readers as the list view is one: each row's text is taken when its row is spliced in (it is
    // measured then), so a task whose text changed must have its row spliced again.
    struct Reader {
        SessionRows::Seen seen;
        QList<RenderedRow> rows;
        QList<RenderedRow::Text> texts;

        void update(const SessionController& session)
        {
            const QList<RowSplice> splices = session.updateRows(seen);
            for (const RowSplice& splice : splices) {
                texts.remove(splice.at, splice.removed);
                for (qsizetype i = 0; i < splice.inserted.size(); ++i)
                    texts.insert(splice.at + i, splice.inserted[i].text(seen.items()));
            }
            applyRowSplices(rows, splices);
        }
    };
    Reader eager, lazy;
    for (int step = 0; step < 1500; ++step) {
        pick();
        // Now and then: a far move seen unfiltered, then a filter that keeps neighbouring rows (the
        // rows are matched by their places, which the move changed).
        const ItemIDList& working = h.session.itemIDs(TaskSection::working);
        const int command = step % 50 < 3 ? -1 - step % 50 : random.bounded(int(commands.size()));
        if (command == -1)
            h.session.setFilterQuery("");
        else if (command == -2 && working.size() > 2)
            h.session.moveItem(working.at(step % 100 < 50 ? 0 : working.size() - 1), TaskSection::working,
                step % 100 < 50 ? working.size() - 1 : 0, false);
        else if (command == -3)
            h.session.setFilterQuery("re");
        else if (command >= 0)
            commands[command]();
        SessionRows::Seen none;
        const QList<RenderedRow> fresh = h.session.updateRows(none).value(0).inserted;
        QList<RenderedRow::Text> freshTexts;
        for (const RenderedRow& row : fresh)
            freshTexts.append(row.text(h.session.itemsByID()));
        const QString where = QString("step %1, command %2").arg(step).arg(command);
        QVERIFY2(h.session.renderedRows() == fresh, qPrintable(where));
        eager.update(h.session);
        QVERIFY2(eager.rows == fresh, qPrintable(where));
        QVERIFY2(eager.texts == freshTexts, qPrintable(where));
        if (step % 7 == 0) {
            lazy.update(h.session);
            QVERIFY2(lazy.rows == fresh, qPrintable(where));
            QVERIFY2(lazy.texts == freshTexts, qPrintable(where));
        }
    }
}

void SessionRowsTest::rowsMadeWithALoadedListAreTheRowsAnUpdateMakes()
{
    // A list loaded or reloaded comes with its rows, made where its tasks were made (on the
    // writer's thread): a reader that brings its rows up to date takes those rather than making
    // them, unless what it must show is no longer what they were made for.
    SessionHarness h;
    h.loadLists("old1 old2 | old3 | old4");
    const auto contentOf = [](const char* lists) {
        SessionHarness lists_;
        lists_.loadLists(lists);
        const VeskDocument document = lists_.session.committedDocument();
        std::optional<LoadedContent> content;
        std::thread([&] {
            content = LoadedContent::of(document);
            content->makeRows();
        }).join();
        return *content;
    };
    // What a reader that saw nothing gets.
    const auto made = [&h] {
        SessionRows::Seen first;
        return h.session.updateRows(first).value(0).inserted;
    };
    struct Case {
        const char* lists;
        // Done after the load, before the reader looks: the offered rows may no longer fit.
        std::function<void()> meanwhile;
        bool taken;
    };
    const QList<Case> cases {
        {"W1 W2|note | I1 | C1 C2", [] {}, true},
        {"| |", [] {}, true},
        {"W1 | |", [] {}, true},
        {"| I1 I2 |", [] {}, true},
        {"| | C1", [] {}, true},
        {"red blue | red | blue red", [&] { h.session.setFilterQuery("red"); }, false},
        {"W1 W2 | I1 | C1",
            [&] {
                h.session.setSelection(h.task("W2"));
                h.session.deleteSelectedItem();
            },
            false},
        {"W1 W2 | I1 | C1",
            [&] {
                h.session.setSelection(h.task("W1"));
                h.session.moveSelectedItem(1);
            },
            false},
        {"W1 | I1 | C1", [&] { h.session.beginCreatingNewItem("draft"); }, false},
        {"W1 W2 | I1 | C1",
            [&] {
                // Completed, and landed: its shell shows where it was.
                h.session.setSelection(h.task("W1"));
                h.session.toggleSelectedItemCompletion();
                h.scheduler.advance(SessionController::completionPreviewDelay + 0.01);
            },
            false},
        {"W1 | I1 | C1", [&] { h.loadLists("W1 | I1 | C1"); }, false},
    };
    for (bool readerFiltered : {false, true}) {
        for (const Case& c : cases) {
            const QString where = QString("%1, reader filtered %2").arg(c.lists).arg(readerFiltered);
            h.session.setFilterQuery(readerFiltered ? "o" : "");
            // A reader that saw the list before, as a window has.
            SessionRows::Seen seen;
            QList<RenderedRow> rows;
            applyRowSplices(rows, h.session.updateRows(seen));
            h.session.setFilterQuery("");
            const LoadedContent content = contentOf(c.lists);
            h.session.loadContent(content);
            c.meanwhile();
            bool taken = false;
            {
                const QList<RowSplice> splices = h.session.updateRows(seen);
                applyRowSplices(rows, splices);
                // Taken as they were made, not copied.
                taken = splices.size() == 1 && splices[0].inserted.constData() == content.rows.constData();
            }
            QVERIFY2(rows == made(), qPrintable(where));
            QVERIFY2(taken == c.taken, qPrintable(where));
            // Kept for a search cleared while the lists are those they were made for; let go of
            // once the lists changed, where they would stay beside the window's own rows.
            rows.clear();
            const bool sameLists = h.session.itemIDs(TaskSection::working).isSharedWith(content.working)
                && h.session.itemIDs(TaskSection::inbox).isSharedWith(content.inbox);
            QVERIFY2(content.rows.isDetached() == !sameLists, qPrintable(where));
        }
    }
    // A list loaded before the filter is cleared: its rows are filtered as any others.
    h.session.setFilterQuery("red");
    h.session.loadContent(contentOf("red blue | red | blue red"));
    QCOMPARE(h.rowsText(), QString("red | red | red"));
}

void SessionRowsTest::clearedSearchGivesEveryRowBackInOneList()
{
    // A search that showed few rows, cleared: a reader gets every row as one list replacing all it
    // held (as for a list loaded), the rows it had before the search while the lists are unchanged,
    // else rows made afresh that show every change made meanwhile.
    SessionHarness h;
    QStringList working, inbox;
    for (int i = 0; i < 40; ++i)
        (i < 20 ? working : inbox) << QString("task %1%2").arg(i).arg(i % 10 == 0 ? " red" : "");
    LoadedContent content = LoadedContent::of(VeskDocument {SessionHarness::tasks(working),
        SessionHarness::tasks(inbox), SessionHarness::tasks({"done red", "done blue"})});
    content.makeRows();
    h.session.loadContent(content);
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    QList<RenderedRow::Text> texts;
    // Every row's text is read as it comes, as the list view measures it.
    const auto update = [&] {
        const QList<RowSplice> splices = h.session.updateRows(seen);
        for (const RowSplice& splice : splices) {
            texts.remove(splice.at, splice.removed);
            for (qsizetype i = 0; i < splice.inserted.size(); ++i)
                texts.insert(splice.at + i, splice.inserted[i].text(seen.items()));
        }
        applyRowSplices(rows, splices);
        return splices;
    };
    const auto expectFresh = [&](const char* where) {
        SessionRows::Seen none;
        const QList<RenderedRow> fresh = h.session.updateRows(none).value(0).inserted;
        QList<RenderedRow::Text> freshTexts;
        for (const RenderedRow& row : fresh)
            freshTexts.append(row.text(h.session.itemsByID()));
        QVERIFY2(rows == fresh, where);
        QVERIFY2(texts == freshTexts, where);
    };
    const auto wholeList = [](const QList<RowSplice>& splices, qsizetype rowsBefore) {
        return splices.size() == 1 && splices[0].at == 0 && splices[0].removed == rowsBefore;
    };
    update();
    QCOMPARE(rows.constData(), content.rows.constData());

    h.select("task 30 red");
    h.session.setFilterQuery("red");
    update();
    QCOMPARE(h.rowsText(), QString("task 0 red task 10 red | task 20 red task 30 red | done red"));
    qsizetype before = rows.size();
    QList<RowSplice> splices = update();
    h.session.setFilterQuery("");
    splices = update();
    QVERIFY(wholeList(splices, before));
    QCOMPARE(splices[0].inserted.constData(), content.rows.constData());
    QCOMPARE(h.session.selection(), h.task("task 30 red"));
    expectFresh("unchanged lists");

    // Moved while searching: the rows from before the search, then the move spliced into them, in
    // a pass of its own.
    h.session.setFilterQuery("red");
    update();
    h.session.moveItem(h.id("task 0 red"), TaskSection::working, 5, false);
    before = rows.size();
    h.session.setFilterQuery("");
    splices = update();
    QVERIFY(!splices.isEmpty() && splices[0].at == 0 && splices[0].removed == before);
    QCOMPARE(splices[0].inserted.constData(), content.rows.constData());
    const QList<QList<RowSplice>> passes = rowSplicePasses(splices);
    QCOMPARE(passes.size(), 2);
    qsizetype movedRows = 0;
    for (const RowSplice& splice : passes[1])
        movedRows += splice.inserted.size();
    QCOMPARE(movedRows, 1);
    expectFresh("moved while searching");
    QVERIFY(h.rowsText().startsWith("task 1 task 2 task 3 task 4 task 5 task 0 red"));

    // Edited, added, deleted and moved while searching.
    h.select("task 30 red");
    h.session.setFilterQuery("red");
    update();
    h.session.beginEditingSelectedItem();
    h.session.updateInlineEditDraft("task 30 red, edited");
    h.session.commitInlineEdit();
    h.session.beginCreatingNewItem("added red");
    h.session.commitNewItem();
    update();
    h.select("task 10 red");
    h.session.deleteSelectedItem();
    h.select("task 0 red");
    h.session.moveSelectedItem(1);
    update();
    h.select("task 30 red, edited");
    before = rows.size();
    h.session.setFilterQuery("");
    splices = update();
    QVERIFY(wholeList(splices, before));
    QVERIFY(splices[0].inserted.constData() != content.rows.constData());
    QCOMPARE(h.session.selection(), h.task("task 30 red, edited"));
    expectFresh("edited while searching");
    QVERIFY(h.rowsText().contains("| added red task 20 red"));

    // The rows made then are kept for the next search cleared.
    h.session.setFilterQuery("red");
    update();
    h.session.setFilterQuery("");
    QCOMPARE(update().value(0).inserted.constData(), splices[0].inserted.constData());
    expectFresh("kept from the last clear");

    // A search that hid few rows: those few are spliced back.
    h.session.setFilterQuery("task");
    update();
    before = rows.size();
    h.session.setFilterQuery("");
    splices = update();
    QVERIFY(!wholeList(splices, before));
    expectFresh("few rows back");
}

QTEST_GUILESS_MAIN(SessionRowsTest)
#include "SessionRowsTest.moc"
