#include "session/SelectionRules.h"

#include <QTest>

namespace QTest {
template <>
inline char* toString(const SessionSelection& selection)
{
    return qstrdup(qPrintable(selection.description()));
}
} // namespace QTest

// Session state built directly from titles, one task per title.
struct RulesFixture {
    SessionState state;
    SessionFilter filter;
    QHash<QString, QUuid> ids;

    RulesFixture(const QStringList& working, const QStringList& inbox, const QStringList& completed)
    {
        SessionItemMap items;
        const auto make = [&](const QStringList& titles) {
            QList<QUuid> list;
            for (const QString& title : titles) {
                const QUuid id = QUuid::createUuid();
                items.insert(id, SessionItem {id, title, std::nullopt});
                ids.insert(title, id);
                list.append(id);
            }
            return list;
        };
        const QList<QUuid> w = make(working), i = make(inbox), c = make(completed);
        state.replaceContent(items, w, i, c);
    }
    SelectionRules rules() const { return SelectionRules(state, filter); }
    SessionSelection task(const QString& title) const { return SessionSelection::task(ids.value(title)); }
    SessionSelection named(const QString& name) const
    {
        if (name == "none")
            return SessionSelection::none();
        if (name == "input")
            return SessionSelection::input();
        return name == "stale" ? SessionSelection::task(QUuid::createUuid()) : task(name);
    }
};

class SelectionRulesTest : public QObject {
    Q_OBJECT

private slots:
    void fallbackFollowsTheSectionLeftAndTheFilter();
    void resolvedKeepsOnlySelectableCandidates();
    void aTaskNotAmongTheRowsGivesTheDefault();
};

void SelectionRulesTest::fallbackFollowsTheSectionLeftAndTheFilter()
{
    // Filter, section left, expected.
    const QList<std::tuple<QString, TaskSection, QString>> cases {{"", TaskSection::working, "I"},
        {"", TaskSection::inbox, "W"}, {"", TaskSection::completed, "W"}, {"C", TaskSection::working, "C"},
        {"I", TaskSection::completed, "I"}, {"none of them", TaskSection::completed, "none"}};
    RulesFixture f({"W"}, {"I"}, {"C"});
    for (const auto& [filter, section, expected] : cases) {
        f.filter.setQuery(filter);
        QCOMPARE(f.rules().fallback(section), f.named(expected));
    }
    // The input row while it is open.
    f.state.assignIsCreatingNewItem(true);
    QCOMPARE(f.rules().fallback(TaskSection::completed), SessionSelection::input());
}

void SelectionRulesTest::resolvedKeepsOnlySelectableCandidates()
{
    RulesFixture f({"apple", "berry"}, {}, {});
    QCOMPARE(f.rules().resolved(std::nullopt), f.task("apple"));
    QCOMPARE(f.rules().resolved(f.task("berry")), f.task("berry"));
    for (const char* unusable : {"none", "input", "stale"})
        QCOMPARE(f.rules().resolved(f.named(unusable)), f.task("apple"));
    f.filter.setQuery("berry");
    QCOMPARE(f.rules().resolved(f.task("apple")), f.task("berry"));
    f.state.assignIsCreatingNewItem(true);
    QCOMPARE(f.rules().resolved(SessionSelection::input()), SessionSelection::input());

    // A task shown as a completion shell is no selectable row.
    f.state.assignIsCreatingNewItem(false);
    f.filter.setQuery("");
    f.state.assignCompletionShell(
        CompletionShellState {f.ids.value("berry"), TaskSection::working, "berry", std::nullopt, false});
    QCOMPARE(f.rules().resolved(f.task("berry")), f.task("apple"));
}

void SelectionRulesTest::aTaskNotAmongTheRowsGivesTheDefault()
{
    RulesFixture f({"apple", "berry"}, {"I"}, {});
    f.state.assignIsCreatingNewItem(true);
    QCOMPARE(f.rules().afterRemoving(QUuid::createUuid()), SessionSelection::input());
    QCOMPARE(
        f.rules().afterLeavingSection(f.ids.value("I"), TaskSection::working), SessionSelection::input());
    f.state.assignIsCreatingNewItem(false);
    f.filter.setQuery("apple");
    QCOMPARE(f.rules().afterRemoving(f.ids.value("berry")), f.task("apple"));
}

QTEST_GUILESS_MAIN(SelectionRulesTest)
#include "SelectionRulesTest.moc"
