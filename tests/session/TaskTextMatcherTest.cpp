#include "session/TaskTextMatcher.h"
#include "session/FoldRules.h"
#include "session/FoldedTexts.h"
#include "session/LoadedContent.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"
#include "session/TextSummary.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

namespace {

// Pieces that texts and queries are made of: plain letters in both cases, the letters that fold
// differently under Turkish rules, a sharp s, accents precomposed and combining (after a plain
// letter, where they change what the letter folds to), a ligature, a letter beyond 8 bits, white
// space; Latin letters that fold to more than one unit or differently under Lithuanian rules (I
// with grave and acute, long s, n preceded by apostrophe, j with caron, a title-case digraph), a
// micro sign, and letters beyond the Latin ones (a Greek capital sigma, a turned a).
const QStringList pieces {"a", "A", "s", "S", "t", "T", "i", "I", "k", "K", " ", "ss",
    QStringView(u"\u0131").toString(), QStringView(u"\u0130").toString(), QStringView(u"\u00DF").toString(),
    QStringView(u"\u00E9").toString(), QStringView(u"\u00C9").toString(), QStringView(u"\u0301").toString(),
    QStringView(u"\u0307").toString(), QStringView(u"\u0152").toString(), QStringView(u"\u0153").toString(),
    QStringView(u"\u0169").toString(), QStringView(u"\u00CC").toString(), QStringView(u"\u00CD").toString(),
    QStringView(u"\u017F").toString(), QStringView(u"\u0149").toString(), QStringView(u"\u01F0").toString(),
    QStringView(u"\u01C5").toString(), QStringView(u"\u00DC").toString(), QStringView(u"\u00B5").toString(),
    QStringView(u"\u03A3").toString(), QStringView(u"\u0250").toString()};

// Text of `count` pieces; `asciiOnly` keeps to the first eleven.
QString randomText(QRandomGenerator& random, int count, bool asciiOnly)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += pieces.at(random.bounded(asciiOnly ? 11 : int(pieces.size())));
    return text;
}

// A task of every kind in turn: ASCII with and without a note, a wider title, an ASCII title with
// a wider note, and a note that is present but empty.
SessionItem randomTask(QRandomGenerator& random, int n)
{
    SessionItem item {
        QUuid::createUuid(), randomText(random, 1 + random.bounded(12), n % 4 != 2), std::nullopt};
    if (n % 5 == 1)
        item.note = QString();
    else if (n % 2)
        item.note = randomText(random, 1 + random.bounded(20), n % 4 != 3)
            + (n % 3 ? QString() : QStringLiteral("\n") + randomText(random, 3, true));
    return item;
}

// What searching means: the task's whole text folded at once, searched for the folded query.
bool foldedContains(const FoldRules& rules, const SessionItem& item, const QString& foldedQuery)
{
    return FoldedTexts::contains(rules.fold(editableText(item)), foldedQuery);
}

const QList<QLocale> locales {QLocale(QLocale::English, QLocale::UnitedStates),
    QLocale(QLocale::Turkish, QLocale::Turkey), QLocale(QLocale::Azerbaijani, QLocale::Azerbaijan),
    QLocale(QLocale::Lithuanian, QLocale::Lithuania), QLocale(QLocale::German, QLocale::Germany)};

} // namespace

class TaskTextMatcherTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void matchesWhatFoldingFinds();
    void matchesLatinLettersAsFoldingDoes();
    void foldingLatinTextUnitByUnitIsFoldingItWhole();
    void searchBeforeFoldingFindsWhatFoldedTextsFind();
    void summariesSettleOnlyWhatFoldingSays();
    void searchFromLoadedSummariesFollowsEveryChange();
};

void TaskTextMatcherTest::matchesWhatFoldingFinds()
{
    QRandomGenerator random(20261207);
    QList<SessionItem> tasks;
    for (int n = 0; n < 400; ++n)
        tasks.append(randomTask(random, n));
    // Named cases beside the random ones: a query across the line feed, a query longer than the
    // text, a capital that folds beyond ASCII, a combining accent after an ASCII letter.
    tasks.append(SessionItem {QUuid::createUuid(), "Plan", QString("ask about MILK")});
    tasks.append(SessionItem {QUuid::createUuid(), "INBOX zero", std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), QStringView(u"cafe\u0301 CAFE").toString(), std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), "Plain title", QStringView(u"n\u00F6te").toString()});
    // A hit in the ASCII start of a text, just before a combining mark that joins its last letter,
    // after a note's ASCII start, or well before any other unit; hits after accented letters, one
    // joined by a combining mark and one only a letter beyond ASCII folds to.
    tasks.append(
        SessionItem {QUuid::createUuid(), QStringView(u"Tas\u0323k \u00E9").toString(), std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), QStringView(u"KI\u0307S").toString(), std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), "Plain", QStringView(u"ask \u00C9COLE\u0301").toString()});
    tasks.append(SessionItem {QUuid::createUuid(), QStringView(u"Ask KI\u0300").toString(), std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), QStringView(u"Caf\u00E9 tasks").toString(), std::nullopt});
    tasks.append(
        SessionItem {QUuid::createUuid(), QStringView(u"Z\u00FCrich Task\u0323").toString(), std::nullopt});
    tasks.append(SessionItem {QUuid::createUuid(), QStringView(u"na\u00EFve").toString(),
        QStringView(u"\u00C9cole TA\u017FK").toString()});
    QStringList queries {"tas", "ki", QStringView(u"k\u0131").toString(), "ask",
        QStringView(u"\u00E9cole").toString(), "plan\nask", "an\na", "k\nmilk", "inbox",
        QStringView(u"\u0131nbox").toString(), "cafe", QStringView(u"caf\u00E9").toString(), "title\nn",
        "plain title and more", "a", "s", "t"};
    for (int n = 0; n < 120; ++n)
        queries << randomText(random, 1 + random.bounded(4), n % 3 != 0);

    int matched = 0;
    int checked = 0;
    for (const QLocale& locale : locales) {
        const FoldRules rules(locale);
        for (const QString& query : std::as_const(queries)) {
            const QString folded = rules.fold(query);
            const TaskTextMatcher matcher(rules, folded);
            for (const SessionItem& task : std::as_const(tasks)) {
                const bool expected = foldedContains(rules, task, folded);
                if (matcher.matches(task) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1: \"%2\" in \"%3\" should be %4")
                                         .arg(locale.name(), query, editableText(task),
                                             expected ? "found" : "not found")));
                matched += expected;
                ++checked;
            }
        }
    }
    // The comparisons saw both answers plenty of times.
    QVERIFY(matched > checked / 20);
    QVERIFY(matched < checked - checked / 20);
}

void TaskTextMatcherTest::matchesLatinLettersAsFoldingDoes()
{
    // Every unit that folds on its own, between letters it could join or be mistaken for, searched
    // for itself and for the plain letters around it.
    for (const QLocale& locale : locales) {
        const FoldRules rules(locale);
        for (char16_t unit = 0x80; unit < FoldRules::unitFoldEnd; ++unit) {
            const QString letter(QChar {unit});
            const QList<SessionItem> tasks {SessionItem {QUuid(), "xI" + letter + "sK", std::nullopt},
                SessionItem {QUuid(), "Plain", letter + letter + "i"}};
            QStringList queries {rules.fold(letter), rules.fold(letter + "s"), "s", "i", "k", "x"};
            queries.removeAll(QString());
            for (const QString& query : std::as_const(queries)) {
                const TaskTextMatcher matcher(rules, query);
                for (const SessionItem& task : tasks) {
                    if (matcher.matches(task) != foldedContains(rules, task, query))
                        QFAIL(qPrintable(QStringLiteral("%1: \"%2\" in \"%3\"")
                                             .arg(locale.name(), query, editableText(task))));
                }
            }
        }
    }
}

void TaskTextMatcherTest::foldingLatinTextUnitByUnitIsFoldingItWhole()
{
    QRandomGenerator random(2026);
    for (const QLocale& locale : locales) {
        const FoldRules rules(locale);
        for (int n = 0; n < 2000; ++n) {
            QString title;
            for (int i = 1 + random.bounded(8); i > 0; --i)
                title += QChar {char16_t(random.bounded(int(FoldRules::unitFoldEnd)))};
            const SessionItem task {
                QUuid(), title, n % 3 ? std::nullopt : std::optional<QString>(title + QStringLiteral("I"))};
            QString byUnit;
            rules.appendFoldedTaskByUnit(byUnit, task);
            QCOMPARE(byUnit, rules.fold(editableText(task)));
            // Folding ahead takes the same way for such a task.
            QString ahead;
            rules.appendFoldedTask(ahead, task);
            QCOMPARE(ahead, byUnit);
        }
    }
}

void TaskTextMatcherTest::searchBeforeFoldingFindsWhatFoldedTextsFind()
{
    // A list long enough that folding ahead takes several slices, searched when none, some or all
    // of it is folded, as the query is typed a letter at a time and a task far down the list is
    // edited while a result is kept.
    QRandomGenerator random(7);
    SessionItemMap items;
    ItemIDList inbox;
    for (int n = 0; n < 3000; ++n) {
        SessionItem item = randomTask(random, n);
        if (n % 7 == 0)
            item.title += QStringLiteral(" Kasim");
        inbox.append(item.id);
        items.insert(item.id, item);
    }
    for (const QLocale& locale :
        {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Turkish, QLocale::Turkey)}) {
        QLocale::setDefault(locale);
        SessionState state;
        state.replaceContent(items, {}, inbox, {});
        SessionFilter unfolded;
        SessionFilter partly;
        SessionFilter folded;
        partly.prepare(state, 1000);
        while (!folded.prepare(state, 1000)) { }
        const auto agree = [&](const QString& query) {
            for (SessionFilter* filter : {&unfolded, &partly, &folded})
                filter->setQuery(query);
            const FilterMatches& expected = folded.matchingRows(state, TaskSection::inbox);
            QVERIFY(expected.count() > 0);
            QCOMPARE(unfolded.matchingRows(state, TaskSection::inbox), expected);
            QCOMPARE(partly.matchingRows(state, TaskSection::inbox), expected);
        };
        for (const QString& query :
            QStringList {"k", "ka", "KAS", "kasi", "kasim", "kas", "k", "s", "S ", "s a", "I"})
            agree(query);

        // An edit of a task beyond what any filter has folded, in and out of the kept result.
        const QUuid far = inbox.at(2900);
        for (const QString& title :
            QStringList {"now KASIM too", "not any more", QStringView(u"KAS\u0130M").toString()}) {
            state.itemsForChange()[far].title = title;
            agree("kasim");
        }
        agree("kas");
    }
}

void TaskTextMatcherTest::summariesSettleOnlyWhatFoldingSays()
{
    // Random tasks, and every unit that folds on its own beside letters, in the title and in a note;
    // searched for single units (each unit's folded form, its first unit, plain letters) and for
    // longer queries. Whatever a summary settles is what folding the task finds.
    QRandomGenerator random(1207);
    QList<SessionItem> tasks;
    for (int n = 0; n < 300; ++n)
        tasks.append(randomTask(random, n));
    for (char16_t unit = 0x80; unit < FoldRules::unitFoldEnd; ++unit) {
        const QString letter(QChar {unit});
        tasks.append(SessionItem {QUuid(), "xI" + letter + "s", std::nullopt});
        tasks.append(SessionItem {QUuid(), "Plain", letter + "K"});
    }
    tasks.append(SessionItem {QUuid(), "Title", QString("note")});
    tasks.append(SessionItem {QUuid(), "I", std::nullopt});
    tasks.append(SessionItem {QUuid(), "i", std::nullopt});

    int settled = 0;
    int checked = 0;
    for (const QLocale& locale : locales) {
        const FoldRules rules(locale);
        QStringList queries {"s", "i", "k", "e\nn", "e\nno", "q", "9", "ss", "is", "x"};
        for (char16_t unit = 0x80; unit < FoldRules::unitFoldEnd; unit += 3) {
            const QString folded = rules.fold(QString(QChar {unit}));
            queries << folded << folded.left(1) << folded.right(1);
        }
        for (int n = 0; n < 60; ++n)
            queries << randomText(random, 1 + random.bounded(3), n % 2 == 0);
        for (const QString& query : std::as_const(queries)) {
            const QString folded = rules.fold(query);
            if (folded.isEmpty())
                continue;
            const TaskTextMatcher matcher(rules, folded);
            for (const SessionItem& task : std::as_const(tasks)) {
                const TaskTextMatcher::Answer answer
                    = matcher.bySummary(TextSummary::of(task.title, task.note));
                ++checked;
                if (answer == TaskTextMatcher::Answer::unsure)
                    continue;
                ++settled;
                const bool expected = foldedContains(rules, task, folded);
                if ((answer == TaskTextMatcher::Answer::found) != expected)
                    QFAIL(qPrintable(QStringLiteral("%1: \"%2\" in \"%3\" should be %4")
                                         .arg(locale.name(), query, editableText(task),
                                             expected ? "found" : "not found")));
            }
        }
    }
    QVERIFY(settled > checked / 2);
    // A one-letter or one-digit query is settled for every ASCII task, under every rule.
    for (const QLocale& locale : locales) {
        const FoldRules rules(locale);
        for (const char* query : {"a", "i", "s", "z", "0", "7"}) {
            const TaskTextMatcher matcher(rules, query);
            for (const SessionItem& task : std::as_const(tasks)) {
                const QString text = editableText(task);
                if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
                    QVERIFY(matcher.bySummary(TextSummary::of(task.title, task.note))
                        != TaskTextMatcher::Answer::unsure);
            }
        }
    }
    // Nothing is settled from a summary that knows nothing.
    QVERIFY(
        TaskTextMatcher(FoldRules(), "s").bySummary(TextSummary::unknown) == TaskTextMatcher::Answer::unsure);
}

void TaskTextMatcherTest::searchFromLoadedSummariesFollowsEveryChange()
{
    // A list loaded with its summaries, searched before and while it is folded ahead, as tasks are
    // added, removed, moved and edited in place (one, a few, many at once; in rows folded and not),
    // the results compared with folding every task.
    QRandomGenerator random(2612);
    VeskDocument document;
    for (int n = 0; n < 2400; ++n) {
        const SessionItem item = randomTask(random, n);
        QList<VeskTask>& section = n % 3 == 0 ? document.workingItems
                                              : (n % 3 == 1 ? document.inboxItems : document.completedItems);
        section.append(VeskTask {item.title, item.note});
    }
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates),
             QLocale(QLocale::Turkish, QLocale::Turkey), QLocale(QLocale::Lithuanian, QLocale::Lithuania)}) {
        QLocale::setDefault(locale);
        FoldRules rules(locale);
        LoadedContent content = LoadedContent::of(document);
        content.makeSummaries();
        SessionState state;
        state.replaceContent(content.items, content.working, content.inbox, content.completed);
        SessionFilter filter;
        filter.takeSummaries(state, content.summaries);

        const auto agree = [&](const QString& query) {
            filter.setQuery(query);
            const QString folded = rules.fold(query.trimmed());
            for (TaskSection section : allTaskSections) {
                const ItemIDList& ids = state.itemIDs(section);
                FilterMatches expected(ids.size());
                for (qsizetype row = 0; row < ids.size(); ++row)
                    expected.set(row, foldedContains(rules, *state.item(ids.at(row)), folded));
                QCOMPARE(filter.matchingRows(state, section), expected);
            }
        };
        ItemIDList& inbox = state.itemIDsForChange(TaskSection::inbox);
        const auto edit = [&](qsizetype row, const QString& title) {
            state.itemsForChange()[inbox.at(row)].title = title;
        };
        const auto insert = [&](qsizetype row, const QString& title) {
            const QUuid id = QUuid::createUuid();
            state.itemsForChange().insert(id, SessionItem {id, title, std::nullopt});
            inbox.insert(row, id);
            return id;
        };

        // Many tasks edited before anything was searched, then searches of every kind.
        for (qsizetype row = 7; row < 800; row += 40)
            edit(row, QStringLiteral("Quiet %1").arg(row));
        for (const char* query : {"q", "s", "k", "i", "\u0131", "ka", "9"})
            agree(QString::fromUtf8(query));

        // One task edited far down, with and without a kept result; then a few.
        edit(750, "Xenon");
        agree("x");
        edit(751, "xylem");
        agree("x");
        for (qsizetype row = 100; row < 800; row += 150)
            edit(row, QStringLiteral("Zebra %1").arg(row));
        agree("z");
        // Rows inserted, removed and moved among the unfolded ones, one change at a time.
        const QUuid quartz = insert(600, "Quartz");
        agree("q");
        insert(3, "juniper");
        agree("j");
        inbox.remove(500, 5);
        agree("q");
        // A task moving to another section keeps its item: its row there is new all the same.
        inbox.removeAt(inbox.indexOf(quartz));
        state.itemIDsForChange(TaskSection::working).insert(5, quartz);
        agree("q");
        inbox.move(inbox.indexOf(inbox.at(787)), 10); // a task found by "q", far up
        agree("q");
        inbox.move(20, 700);
        agree("z");
        agree("q");

        // Part of the list folded, then more changes on both sides of the folded rows.
        filter.prepare(state, 300);
        agree("s");
        edit(650, "Quokka");
        agree("q");
        edit(10, "Quince");
        agree("q");
        insert(550, "Xylophone");
        agree("x");
        // Another locale: every text is folded again under its rules, the summaries still hold.
        const QLocale other = locale.language() == QLocale::Turkish
            ? QLocale(QLocale::English)
            : QLocale(QLocale::Turkish, QLocale::Turkey);
        QLocale::setDefault(other);
        rules = FoldRules(other);
        agree("i");
        agree(QStringView(u"\u0131").toString());
        // A change too large to follow row by row, then the list folded whole.
        for (int n = 0; n < 100; ++n)
            insert(400, QStringLiteral("Wasp %1").arg(n));
        agree("w");
        while (!filter.prepare(state, 300)) { }
        agree("k");
        // Folded rows keep their summaries through edits, insertions (enough in one place to
        // split a chunk of texts), removals and moves; one-unit queries are settled by them alone.
        edit(5, "Yodel");
        agree("y");
        edit(5, "no more");
        agree("y");
        for (int n = 0; n < 300; ++n) {
            insert(600, n % 3 ? QStringLiteral("Vole %1").arg(n) : QStringLiteral("quiet"));
            if (n % 50 == 49)
                agree("v");
        }
        agree("vole 2");
        inbox.remove(700, 40);
        inbox.move(650, 20);
        inbox.move(30, 1100);
        agree("v");
        agree("q");
        filter.prepare(state, -1);
        agree("o");
        agree("ole 1");
        agree("r 1");
    }
}

QTEST_GUILESS_MAIN(TaskTextMatcherTest)
#include "TaskTextMatcherTest.moc"
