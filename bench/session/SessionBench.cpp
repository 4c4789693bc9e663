// Speed of the editing session at 1,000, 10,000 and 100,000 tasks: deriving rows, filtering, moving
// the selection, and every committing command including its undo step; and how many bytes the undo
// history keeps per command (heapBytesPerCommand: the growth of the heap in use over 150 commands,
// which covers both new and malloc).

#include "document/DocumentFormat.h"
#include "platform/ManualScheduler.h"
#include "platform/Pasteboard.h"
#include "session/CommittedSnapshot.h"
#include "session/IdleFolding.h"
#include "session/LoadedContent.h"
#include "session/SessionController.h"
#include "session/SessionFilter.h"
#include "session/SessionState.h"
#include "session/TextSummary.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLocale>

#include <malloc.h>

#include <array>
#include <functional>
#include <memory>

namespace {

// With `accented`, a third of the titles begin with a word that is not ASCII.
VeskDocument makeDocument(int count, bool accented = false)
{
    const std::array<QString, 3> words {QStringView(u"Caf\u00E9").toString(),
        QStringView(u"Z\u00FCrich").toString(), QStringView(u"na\u00EFve").toString()};
    VeskDocument document;
    for (int i = 0; i < count; ++i) {
        VeskTask task {QStringLiteral("%1 %2: call the supplier about order %3")
                           .arg(accented && i % 3 == 0 ? words[size_t(i / 3 % 3)] : QStringLiteral("Task"))
                           .arg(i)
                           .arg(i * 7919 % 100000),
            std::nullopt};
        if (i % 5 == 0)
            task.note = QStringLiteral("Remember the invoice\nand the delivery date for batch %1").arg(i);
        // Working 40 %, inbox 40 %, completed 20 %.
        if (i % 5 < 2)
            document.workingItems.append(task);
        else if (i % 5 < 4)
            document.inboxItems.append(task);
        else
            document.completedItems.append(task);
    }
    return document;
}

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A pasteboard that always holds one task's text.
class FixedPasteboard : public Pasteboard {
public:
    QString readString() const override { return QStringLiteral("Pasted task\nwith its note"); }
    void writeString(const QString&) override { }
};

struct Fixture {
    ManualScheduler scheduler;
    SessionController session {&scheduler};
    VeskDocument document;

    // The list as read from its file, as a list is opened: how its texts lie in memory counts.
    explicit Fixture(int count, bool accented = false)
        : document(parseDocument(serializeDocument(makeDocument(count, accented))))
    {
        session.onCommittedChange = [] {};
        session.setPasteboard(std::make_shared<FixedPasteboard>());
        reload();
    }

    // As a running Vesk opens a list (File > Open, a reload): its content made on the writer's
    // thread, summaries included, and handed to the session.
    void reload()
    {
        LoadedContent content = LoadedContent::of(document);
        content.makeSummaries();
        session.loadContent(content);
        selectMiddle(TaskSection::working);
    }

    // Runs the jobs the list has scheduled, such as folding its texts for searching in idle time,
    // as a list open for a moment has.
    void runScheduledJobs()
    {
        while (scheduler.pendingCount() > 0)
            scheduler.advance(scheduler.nextDueTime() - scheduler.now());
    }

    void selectMiddle(TaskSection section)
    {
        const ItemIDList& ids = session.itemIDs(section);
        session.setSelection(SessionSelection::task(ids.at(ids.size() / 2)));
    }
};

// Runs `command` repeatedly; `prepare` runs untimed before each command and may reload. Also
// reports the bytes the heap keeps per command over a run of 150 commands after loading: three
// times the warming run, so that the undo stack's own growth counts too, and long enough that what
// happens to be held for a moment at either end weighs little.
void runCommand(benchmark::State& state, const std::function<void(Fixture&)>& prepare,
    const std::function<void(Fixture&)>& command)
{
    Fixture f(int(state.range(0)));

    {
        f.reload();
        for (int i = 0; i < 50; ++i) { // warm the row and filter caches
            prepare(f);
            command(f);
        }
        f.reload();
        for (int i = 0; i < 3; ++i) {
            prepare(f);
            command(f);
        }
        constexpr int runs = 150; // under the 200 steps after which the fixtures reload
        const size_t before = heapInUse();
        for (int i = 0; i < runs; ++i) {
            prepare(f);
            command(f);
        }
        const size_t after = heapInUse();
        state.counters["heapBytesPerCommand"] = double(qint64(after) - qint64(before)) / runs;
    }

    f.reload();
    for (auto _ : state) {
        state.PauseTiming();
        prepare(f);
        state.ResumeTiming();
        command(f);
    }
    state.counters["undoSteps"] = double(f.session.undoStack().size());
}

// Keeps the undo history bounded so that long runs do not exhaust memory.
void reloadWhenHistoryIsLong(Fixture& f)
{
    if (f.session.undoStack().size() >= 200)
        f.reload();
}

void BM_RenderedRows(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(f.session.renderedRows());
}

void BM_RenderedRowsFiltered(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    f.session.setFilterQuery("order 4");
    for (auto _ : state)
        benchmark::DoNotOptimize(f.session.renderedRows());
    state.counters["rows"] = double(f.session.renderedRows().size());
}

// One keystroke in the search field: the query changes, the selection is resolved against it, and
// the panel rebuilds the rows.
void BM_FilterKeystroke(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    const QStringList queries {"s", "su", "sup", "supp", "suppl", "supp", "sup", "su"};
    for (const QString& query : queries) // the first keystroke folds the texts: see below
        f.session.setFilterQuery(query);
    int i = 0;
    for (auto _ : state) {
        f.session.setFilterQuery(queries[i++ % queries.size()]);
        benchmark::DoNotOptimize(f.session.renderedRows());
    }
}

// The same keystrokes with the rows brought up to date as the panel does it: by the splices that
// turn its copy of the rows into the new ones.
void BM_FilterKeystrokeSpliced(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    const QStringList queries {"s", "su", "sup", "supp", "suppl", "supp", "sup", "su"};
    for (const QString& query : queries)
        f.session.setFilterQuery(query);
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    applyRowSplices(rows, f.session.updateRows(seen));
    int i = 0;
    for (auto _ : state) {
        f.session.setFilterQuery(queries[i++ % queries.size()]);
        applyRowSplices(rows, f.session.updateRows(seen));
    }
    state.counters["rows"] = double(rows.size());
}

// A command followed by the splices of the rows it changed (Ctrl+J in the middle of the list).
void BM_MoveSelectedItemSpliced(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    f.selectMiddle(TaskSection::working);
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    applyRowSplices(rows, f.session.updateRows(seen));
    int n = 0;
    for (auto _ : state) {
        if (f.session.undoStack().size() >= 200) {
            state.PauseTiming();
            f.reload();
            f.selectMiddle(TaskSection::working);
            seen = SessionRows::Seen();
            rows.clear();
            applyRowSplices(rows, f.session.updateRows(seen));
            state.ResumeTiming();
        }
        f.session.moveSelectedItem(++n % 2 ? 1 : -1);
        applyRowSplices(rows, f.session.updateRows(seen));
    }
}

// The first keystroke after loading, before any text has been folded in idle time: every task is
// matched from its text. The rows of the loaded list are made first (untimed), as the panel makes
// them when the list is loaded.
void BM_FilterFirstKeystroke(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        f.session.setFilterQuery(QString());
        f.reload();
        benchmark::DoNotOptimize(f.session.renderedRows());
        state.ResumeTiming();
        f.session.setFilterQuery("s");
        benchmark::DoNotOptimize(f.session.renderedRows());
    }
}

// How the list searched came into the session.
enum class Opened {
    // On the writer's thread, with its summaries (Fixture::reload).
    loaded,
    // On the interface thread, as a list given at launch is: without summaries.
    here,
    // The same, once the summaries the writer makes afterwards have been handed over.
    hereSummarised,
};

// The same keystroke with the rows brought up to date as the panel does it, which built them when
// the list was loaded: only the keystroke's own splices are timed. With `foldAhead`, the list has
// been open long enough for its texts to be folded in idle time: the scheduler's jobs run (untimed)
// before the keystroke.
void runFirstKeystrokeSpliced(benchmark::State& state, bool foldAhead, Opened opened = Opened::loaded)
{
    Fixture f(int(state.range(0)));
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    for (auto _ : state) {
        state.PauseTiming();
        f.session.setFilterQuery(QString());
        if (opened == Opened::loaded) {
            f.reload();
        } else {
            f.session.loadDocument(f.document);
            f.selectMiddle(TaskSection::working);
        }
        if (opened == Opened::hereSummarised) {
            const CommittedSnapshot content = CommittedSnapshot::of(f.session);
            f.session.takeLateSummaries(content,
                {TextSummary::ofList(content.itemsByID, content.workingItemIDs),
                    TextSummary::ofList(content.itemsByID, content.inboxItemIDs),
                    TextSummary::ofList(content.itemsByID, content.completedItemIDs)});
        }
        applyRowSplices(rows, f.session.updateRows(seen));
        if (foldAhead)
            f.runScheduledJobs();
        state.ResumeTiming();
        f.session.setFilterQuery("s");
        applyRowSplices(rows, f.session.updateRows(seen));
    }
}

void BM_FilterFirstKeystrokeSpliced(benchmark::State& state)
{
    runFirstKeystrokeSpliced(state, false);
}

void BM_FilterFirstKeystrokeFoldedAhead(benchmark::State& state)
{
    runFirstKeystrokeSpliced(state, true);
}

// A list given at launch, read on the interface thread, before and after its summaries came.
void BM_FilterFirstKeystrokeOpenedHere(benchmark::State& state)
{
    runFirstKeystrokeSpliced(state, false, Opened::here);
}

void BM_FilterFirstKeystrokeOpenedHereSummarised(benchmark::State& state)
{
    runFirstKeystrokeSpliced(state, false, Opened::hereSummarised);
}

// A keystroke as the session sees it, in the cases of the matching-alone benchmarks below: the
// steps in `timed` after the untimed ones in `before`, where a query is typed and the rows rebuilt,
// and "!" commits an edit of a task in each section. The list has been open long enough for its
// texts to be folded in idle time.
void runKeystroke(benchmark::State& state, const QStringList& before, const QStringList& timed)
{
    Fixture f(int(state.range(0)));
    f.runScheduledJobs();
    int edits = 0;
    const auto run = [&](const QStringList& steps) {
        for (const QString& step : steps) {
            if (step != QLatin1String("!")) {
                f.session.setFilterQuery(step);
                benchmark::DoNotOptimize(f.session.renderedRows());
                continue;
            }
            ++edits;
            for (TaskSection section : allTaskSections) {
                const ItemIDList& ids = f.session.itemIDs(section);
                const QUuid id = ids.at(ids.size() / 2);
                const QString text = editableText(f.session.itemsByID().value(id));
                f.session.beginEditingItem(id);
                f.session.updateInlineEditDraft(edits % 2 ? text + QLatin1Char('.') : text.chopped(1));
                f.session.commitInlineEdit();
            }
        }
    };
    for (auto _ : state) {
        state.PauseTiming();
        if (f.session.undoStack().size() >= 200) {
            f.reload();
            f.runScheduledJobs();
            edits = 0;
        }
        run(before);
        state.ResumeTiming();
        run(timed);
    }
}

// A search cleared (Escape, or BackSpace to an empty query) after it showed a few tasks, with the
// rows brought up to date as the panel does it. The list was opened as a running Vesk opens it,
// its rows made with its content; with `edited`, a task was added during the search (untimed), so
// the rows from before the search no longer fit the lists.
void BM_FilterClearedSpliced(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    const bool edited = state.range(1) != 0;
    LoadedContent content = LoadedContent::of(f.document);
    content.makeRows();
    content.makeSummaries();
    f.session.loadContent(content);
    content = LoadedContent();
    f.runScheduledJobs();
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    applyRowSplices(rows, f.session.updateRows(seen));
    for (auto _ : state) {
        state.PauseTiming();
        f.session.setFilterQuery(QStringLiteral("order 4242"));
        applyRowSplices(rows, f.session.updateRows(seen));
        if (edited) {
            f.session.beginCreatingNewItem(QStringLiteral("Added: order 4242"));
            f.session.commitNewItem();
            applyRowSplices(rows, f.session.updateRows(seen));
        }
        state.ResumeTiming();
        f.session.setFilterQuery(QString());
        applyRowSplices(rows, f.session.updateRows(seen));
    }
    state.counters["rows"] = double(rows.size());
}

void BM_FilterKeystrokeNarrowFew(benchmark::State& state)
{
    runKeystroke(state, {"order 4", "!"}, {"order 42"});
}

void BM_FilterKeystrokeBackSpaceFew(benchmark::State& state)
{
    runKeystroke(state, {"order 4", "order 42"}, {"order 4"});
}

// The filter's matching alone, apart from the rows the panel builds from it: a session state
// holding the loaded tasks and a filter asked for each section's matching rows.
struct MatchFixture {
    SessionState state;
    SessionFilter filter;
    std::array<QList<quint64>, 3> summaries; // made with the loaded list, as the session has them
    std::array<QUuid, 3> touched; // a task of each section whose title `touch` changes
    int touches = 0;

    explicit MatchFixture(int count, bool accented = false)
    {
        Fixture loaded(count, accented);
        LoadedContent content = LoadedContent::of(loaded.document);
        content.makeSummaries();
        state.replaceContent(content.items, content.working, content.inbox, content.completed);
        summaries = content.summaries;
        for (TaskSection section : allTaskSections)
            touched[size_t(section)] = state.itemIDs(section).at(state.itemIDs(section).size() / 2);
        reset();
    }

    // A filter as the session has it just after loading the list.
    void reset()
    {
        filter = SessionFilter();
        filter.takeSummaries(state, summaries);
    }

    // Asks for each section's matching rows, as the session's rows do.
    void show(const QString& query)
    {
        filter.setQuery(query);
        if (!filter.isActive())
            return;
        for (TaskSection section : allTaskSections)
            benchmark::DoNotOptimize(filter.matchingRows(state, section).size());
    }

    qsizetype matchingCount() const
    {
        qsizetype count = 0;
        for (TaskSection section : allTaskSections)
            count += filter.isActive() ? filter.matchingRows(state, section).count()
                                       : state.itemIDs(section).size();
        return count;
    }

    // Edits one task of each section without changing which queries it matches, so that nothing
    // kept for an earlier query can be reused.
    void touch()
    {
        ++touches;
        for (const QUuid& id : touched) {
            QString& title = state.itemsForChange()[id].title;
            title = touches % 2 ? title + QLatin1Char('.') : title.chopped(1);
        }
    }
};

// Times the steps in `timed` after the untimed ones in `before`: a query is shown, "!" edits a
// task of each section. The texts have been folded ahead (untimed), as in idle time.
void runMatch(benchmark::State& state, const QStringList& before, const QStringList& timed)
{
    MatchFixture f(int(state.range(0)));
    while (!f.filter.prepare(f.state, IdleFolding::sliceRows)) { }
    const auto run = [&f](const QStringList& steps) {
        for (const QString& step : steps) {
            if (step == QLatin1String("!"))
                f.touch();
            else
                f.show(step);
        }
    };
    for (auto _ : state) {
        state.PauseTiming();
        run(before);
        state.ResumeTiming();
        run(timed);
    }
    state.counters["rows"] = double(f.matchingCount());
}

// The first letter after loading, the filter's share alone: no text has been folded yet.
void BM_MatchFirstKeystroke(benchmark::State& state)
{
    MatchFixture f(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        f.reset();
        state.ResumeTiming();
        f.show("s");
    }
    state.counters["rows"] = double(f.matchingCount());
}

// The same after folding ahead in idle time (untimed), the filter's share alone. The list is
// folded once, and each keystroke is given a copy of that filter, which holds what folding it
// again would.
void runFirstKeystroke(benchmark::State& state, bool accented, bool foldAhead, const QString& query)
{
    MatchFixture f(int(state.range(0)), accented);
    SessionFilter folded;
    if (foldAhead) {
        while (!f.filter.prepare(f.state, IdleFolding::sliceRows)) { }
        folded = f.filter;
    }
    for (auto _ : state) {
        state.PauseTiming();
        if (foldAhead)
            f.filter = folded;
        else
            f.reset();
        state.ResumeTiming();
        f.show(query);
    }
    state.counters["rows"] = double(f.matchingCount());
}

void BM_MatchFirstKeystrokeFoldedAhead(benchmark::State& state)
{
    runFirstKeystroke(state, false, true, "s");
}

// The first letter when a third of the titles begin with an accented word ("Café", "Zürich"):
// every task matches, those only after their first letter that is not ASCII; then a letter that
// no task holds, so that every text must be read whole; then the first letter after folding ahead.
void BM_MatchFirstKeystrokeAccented(benchmark::State& state)
{
    runFirstKeystroke(state, true, false, "s");
}

void BM_MatchFirstKeystrokeAccentedAbsent(benchmark::State& state)
{
    runFirstKeystroke(state, true, false, "q");
}

void BM_MatchFirstKeystrokeAccentedFoldedAhead(benchmark::State& state)
{
    runFirstKeystroke(state, true, true, "s");
}

// One slice of folding ahead in idle time: the longest the interface thread is held at once.
void BM_FoldAheadSlice(benchmark::State& state)
{
    MatchFixture f(int(state.range(0)));
    for (auto _ : state) {
        if (f.filter.prepare(f.state, IdleFolding::sliceRows)) {
            state.PauseTiming();
            f.reset();
            state.ResumeTiming();
        }
    }
}

// A list opening, then folding ahead until a keystroke would fold nothing: the time is the folding
// (every slice, the jobs run at once); readyAfterMs is when the last slice runs on the scheduler's
// clock, counting only its delays and pauses, so the earliest a search finds every text folded.
void BM_FoldAheadAfterOpening(benchmark::State& state)
{
    double readyAfter = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto f = std::make_unique<Fixture>(int(state.range(0))); // a session of its own, as a list opens
        const double opened = f->scheduler.now();
        state.ResumeTiming();
        while (f->scheduler.pendingCount() > 0)
            f->scheduler.advance(f->scheduler.nextDueTime() - f->scheduler.now());
        state.PauseTiming();
        readyAfter = f->scheduler.now() - opened;
        f.reset();
        state.ResumeTiming();
    }
    state.counters["readyAfterMs"] = readyAfter * 1000;
}

// Empty to one letter, the folded texts kept from before: every task is searched.
void BM_MatchFirstLetter(benchmark::State& state)
{
    runMatch(state, {"x", "!", ""}, {"s"});
}

// One more letter, few tasks left (about 1 %) and most tasks left.
void BM_MatchNarrowFew(benchmark::State& state)
{
    runMatch(state, {"order 4", "!"}, {"order 42"});
}

void BM_MatchNarrowMost(benchmark::State& state)
{
    runMatch(state, {"supp", "!"}, {"suppl"});
}

// BackSpace, to about 11 % and to every task.
void BM_MatchBackSpaceFew(benchmark::State& state)
{
    runMatch(state, {"order 4", "order 42"}, {"order 4"});
}

void BM_MatchBackSpaceMost(benchmark::State& state)
{
    runMatch(state, {"supp", "suppl"}, {"supp"});
}

// A query that is not an extension of the one before (a word typed over): every task is searched.
void BM_MatchNewWord(benchmark::State& state)
{
    runMatch(state, {"order", "!"}, {"invoice"});
}

// An edit of a task in each section while filtering, then the matches again.
void BM_MatchAfterEdit(benchmark::State& state)
{
    runMatch(state, {"supplier"}, {"!", "supplier"});
}

void BM_CommitNewItem(benchmark::State& state)
{
    runCommand(
        state, [](Fixture& f) { reloadWhenHistoryIsLong(f); },
        [](Fixture& f) {
            f.session.beginCreatingNewItem("A new task\nwith a note");
            f.session.commitNewItem();
        });
}

void BM_CommitInlineEdit(benchmark::State& state)
{
    int n = 0;
    runCommand(
        state, [](Fixture& f) { reloadWhenHistoryIsLong(f); },
        [&n](Fixture& f) {
            f.session.beginEditingSelectedItem();
            f.session.updateInlineEditDraft(QStringLiteral("Edited title %1").arg(++n));
            f.session.commitInlineEdit();
        });
}

// The same with a filter active, followed by the rows the panel then rebuilds: the edit replaces
// the item map, so every section's folded texts are rebuilt.
void BM_CommitInlineEditFiltered(benchmark::State& state)
{
    int n = 0;
    runCommand(
        state,
        [](Fixture& f) {
            reloadWhenHistoryIsLong(f);
            if (f.session.filterQuery().isEmpty()) {
                f.session.setFilterQuery("supplier");
                f.selectMiddle(TaskSection::working);
            }
        },
        [&n](Fixture& f) {
            f.session.beginEditingSelectedItem();
            f.session.updateInlineEditDraft(QStringLiteral("Edited supplier title %1").arg(++n));
            f.session.commitInlineEdit();
            benchmark::DoNotOptimize(f.session.renderedRows());
        });
}

void BM_DeleteSelectedItem(benchmark::State& state)
{
    runCommand(
        state,
        [](Fixture& f) {
            reloadWhenHistoryIsLong(f);
            f.selectMiddle(TaskSection::working);
        },
        [](Fixture& f) { f.session.deleteSelectedItem(); });
}

void BM_MoveSelectedItem(benchmark::State& state)
{
    int n = 0;
    runCommand(
        state, [](Fixture& f) { reloadWhenHistoryIsLong(f); },
        [&n](Fixture& f) { f.session.moveSelectedItem(++n % 2 ? 1 : -1); });
}

void BM_MoveItem(benchmark::State& state)
{
    int n = 0;
    runCommand(
        state, [](Fixture& f) { reloadWhenHistoryIsLong(f); },
        [&n](Fixture& f) {
            const ItemIDList& inbox = f.session.inboxItemIDs();
            const int target = ++n % 2 ? 0 : int(inbox.size() - 1);
            f.session.moveItem(inbox.at(inbox.size() / 2), TaskSection::inbox, target, true);
        });
}

// Completing a task from the command through its preview, shell, landing and clearing.
void BM_CompleteThroughLanding(benchmark::State& state)
{
    runCommand(
        state,
        [](Fixture& f) {
            if (f.session.undoStack().size() >= 200 || f.session.workingItemIDs().size() < 2)
                f.reload();
            f.selectMiddle(TaskSection::working);
        },
        [](Fixture& f) {
            f.session.toggleSelectedItemCompletion();
            f.scheduler.advance(SessionController::completionPreviewDelay);
            f.scheduler.advance(SessionController::shellClearingDelay);
        });
}

// Undo and redo: the history is filled with moves beforehand (untimed).
void fillHistory(Fixture& f)
{
    f.reload();
    for (int i = 0; i < 160; ++i)
        f.session.moveSelectedItem(i % 2 ? 1 : -1);
}

void BM_Undo(benchmark::State& state)
{
    runCommand(
        state,
        [](Fixture& f) {
            if (f.session.undoStack().isEmpty())
                fillHistory(f);
        },
        [](Fixture& f) { f.session.undo(); });
}

void BM_Redo(benchmark::State& state)
{
    runCommand(
        state,
        [](Fixture& f) {
            if (f.session.redoStack().isEmpty()) {
                fillHistory(f);
                while (!f.session.undoStack().isEmpty())
                    f.session.undo();
            }
        },
        [](Fixture& f) { f.session.redo(); });
}

void BM_PasteItem(benchmark::State& state)
{
    runCommand(
        state, [](Fixture& f) { reloadWhenHistoryIsLong(f); }, [](Fixture& f) { f.session.pasteItem(); });
}

// A task of the working list to the inbox and back to the end of the working list, each landing.
void BM_ToggleToday(benchmark::State& state)
{
    runCommand(
        state,
        [](Fixture& f) {
            reloadWhenHistoryIsLong(f);
            f.selectMiddle(TaskSection::working);
        },
        [](Fixture& f) {
            f.session.toggleSelectedItemToday();
            f.scheduler.runDueJobs();
            f.scheduler.advance(SessionController::shellClearingDelay);
        });
}

// j and k: the selection one row down or up, at the middle of the list.
void BM_MoveSelection(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    int n = 0;
    for (auto _ : state)
        f.session.moveSelection(++n % 2 ? 1 : -1);
}

void BM_LoadDocument(benchmark::State& state)
{
    Fixture f(int(state.range(0)));
    for (auto _ : state)
        f.session.loadDocument(f.document);
}

} // namespace

BENCHMARK(BM_RenderedRows)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderedRowsFiltered)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterKeystroke)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterKeystrokeSpliced)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveSelectedItemSpliced)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFirstKeystroke)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFirstKeystrokeSpliced)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFirstKeystrokeFoldedAhead)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFirstKeystrokeOpenedHere)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterFirstKeystrokeOpenedHereSummarised)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterClearedSpliced)
    ->ArgNames({"tasks", "edited"})
    ->ArgsProduct({{100000, 1600000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterKeystrokeNarrowFew)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterKeystrokeBackSpaceFew)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FoldAheadAfterOpening)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstKeystroke)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstKeystrokeFoldedAhead)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstKeystrokeAccented)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstKeystrokeAccentedAbsent)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstKeystrokeAccentedFoldedAhead)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FoldAheadSlice)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchFirstLetter)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchNarrowFew)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchNarrowMost)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchBackSpaceFew)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchBackSpaceMost)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchNewWord)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MatchAfterEdit)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommitNewItem)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommitInlineEdit)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CommitInlineEditFiltered)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeleteSelectedItem)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveSelectedItem)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveItem)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CompleteThroughLanding)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Undo)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Redo)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PasteItem)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToggleToday)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveSelection)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadDocument)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
