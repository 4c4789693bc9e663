#include "session/TaskTextMatcher.h"
#include "session/FoldRules.h"
#include "session/FoldedTexts.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"

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

// What the folded texts say: the task's whole text folded, searched for the folded query.
bool foldedContains(const FoldRules& rules, const SessionItem& item, const QString& foldedQuery)
{
    QString text;
    rules.appendFoldedTask(text, item);
    return FoldedTexts::contains(text, foldedQuery);
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

QTEST_GUILESS_MAIN(TaskTextMatcherTest)
#include "TaskTextMatcherTest.moc"
