// How fast a panel opens a task file and shows it, and how long a frame takes while scrolling,
// at 100 and 10,000 tasks; and the peak memory of the process (maxrss) after the large file.
// Runs on Qt's offscreen platform unless another one is chosen.

#include "panel/TaskListView.h"
#include "panel/TaskRowLayout.h"
#include "panel/VeskPanelController.h"
#include "panel/VeskPanelRootView.h"
#include "platform/DialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "session/LoadedContent.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <array>

#include <sys/resource.h>

namespace {

class SilentDialogs : public DialogPresenter {
public:
    int runAlert(const QString&, const QString&, const QStringList&) override { return -1; }
    QString chooseFileToOpen(const QStringList&, const QString&) override { return {}; }
    QString chooseFileToSave(const QString&, const QStringList&, const QString&, const QString&) override
    {
        return {};
    }
};

QString writeTaskFile(const QTemporaryDir& dir, int count)
{
    QString working, inbox, completed;
    for (int i = 0; i < count; ++i) {
        QString line
            = QStringLiteral("Task %1: call the supplier about order %2").arg(i).arg(i * 7919 % 100000);
        if (i % 10 == 3)
            line += QStringLiteral(" [details](https://example.com/orders/%1)").arg(i);
        line += QLatin1Char('\n');
        if (i % 5 == 0)
            line += QStringLiteral("> Remember the invoice\n> and the delivery date for batch %1\n").arg(i);
        (i % 5 < 2 ? working : i % 5 < 4 ? inbox : completed) += line;
    }
    const QString path = dir.filePath(QStringLiteral("bench-%1.vesk").arg(count));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write((working + QStringLiteral("---\n") + inbox + QStringLiteral("---\n") + completed).toUtf8());
    return path;
}

double peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

QTemporaryDir& tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

// Opening the file, building the panel and painting its first frame.
void BM_OpenFileUntilFirstPaint(benchmark::State& state)
{
    const QString path = writeTaskFile(tempDir(), int(state.range(0)));
    SilentDialogs dialogs;
    for (auto _ : state) {
        VeskDocumentController document(&dialogs);
        VeskPanelController panel(&document);
        if (document.openDocument(QUrl::fromLocalFile(path))) {
            state.SkipWithError("the task file did not open");
            break;
        }
        panel.showPanel();
        benchmark::DoNotOptimize(panel.host()->grab());
        benchmark::DoNotOptimize(panel.rootView()->listView()->lastPaintedRowCount());
        state.PauseTiming();
        panel.closePanel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_OpenFileUntilFirstPaint)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// One scrolled frame: move by three rows' worth and paint the list synchronously.
void BM_ScrollFrame(benchmark::State& state)
{
    const QString path = writeTaskFile(tempDir(), int(state.range(0)));
    SilentDialogs dialogs;
    VeskDocumentController document(&dialogs);
    VeskPanelController panel(&document);
    if (document.openDocument(QUrl::fromLocalFile(path))) {
        state.SkipWithError("the task file did not open");
        return;
    }
    panel.showPanel();
    benchmark::DoNotOptimize(panel.host()->grab());
    TaskListView* list = panel.rootView()->listView();
    const double end = std::max(list->layout().contentHeight() - list->viewport()->height(), 1.0);
    double offset = 0;
    int painted = 0;
    for (auto _ : state) {
        offset += 120;
        if (offset > end)
            offset = 0;
        list->setScrollOffset(offset);
        benchmark::DoNotOptimize(list->viewport()->grab());
        painted += list->lastPaintedRowCount();
    }
    state.counters["rows_per_frame"] = double(painted) / double(state.iterations());
    state.counters["peak_MB"] = peakMegabytes();
    panel.closePanel();
}
BENCHMARK(BM_ScrollFrame)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The list's rows brought up to date after the whole list was replaced (a reload of a list another
// program changed): the session's splices, applied to the layout and laid out, and the selected
// task's row found, as the list view does it; no widget. The two lists differ in every title, so no row
// stays.
void BM_ReloadedRowsLaidOut(benchmark::State& state)
{
    const int count = int(state.range(0));
    std::array<VeskDocument, 2> documents;
    for (int i = 0; i < count; ++i) {
        for (int d = 0; d < 2; ++d) {
            VeskTask task {QStringLiteral("%1 %2: call the supplier about order %3")
                               .arg(d ? QStringLiteral("Task") : QStringLiteral("Call"))
                               .arg(i)
                               .arg(i * 7919 % 100000),
                std::nullopt};
            (i % 5 < 2          ? documents[d].workingItems
                    : i % 5 < 4 ? documents[d].inboxItems
                                : documents[d].completedItems)
                .append(task);
        }
    }
    ManualScheduler scheduler;
    SessionController session(&scheduler);
    session.loadDocument(documents[0]);
    SessionRows::Seen seen;
    TaskRowLayout layout;
    layout.setScrollContentWidth(400);
    // As in the app, what a reload lets go of is freed on another thread (the writer's): here
    // outside the timing.
    std::vector<std::shared_ptr<const void>> released;
    layout.setRelease([&](std::shared_ptr<const void> old) { released.push_back(std::move(old)); });
    const auto update = [&] {
        const QList<RowSplice> splices = session.updateRows(seen);
        layout.setItems(seen.items());
        layout.applySplices(splices);
        layout.relayout();
        // The view then finds the selected task's row, to keep it in sight.
        const ItemIDList& inbox = session.itemIDs(TaskSection::inbox);
        benchmark::DoNotOptimize(layout.taskBlock(inbox.at(inbox.size() / 2)));
    };
    update();
    int round = 0;
    // With layoutOnly, the session's splices are made outside the timing: the layout's part alone.
    const bool layoutOnly = state.range(1) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        released.clear();
        // The session's replaced list is held by the writer until the windows have let go of it.
        // The rows are made with the content, on the writer, and offered to the first update.
        LoadedContent content = LoadedContent::of(documents[++round % 2]);
        content.makeRows();
        released.push_back(session.loadContent(content));
        if (layoutOnly) {
            const QList<RowSplice> splices = session.updateRows(seen);
            state.ResumeTiming();
            layout.setItems(seen.items());
            layout.applySplices(splices);
            layout.relayout();
            const ItemIDList& inbox = session.itemIDs(TaskSection::inbox);
            benchmark::DoNotOptimize(layout.taskBlock(inbox.at(inbox.size() / 2)));
            continue;
        }
        state.ResumeTiming();
        update();
    }
    state.counters["rows"] = double(layout.rows().size());
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_ReloadedRowsLaidOut)
    ->ArgNames({"tasks", "layoutOnly"})
    ->ArgsProduct({{100000, 1600000}, {0, 1}})
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);

// A search cleared (Escape) in a long list: the rows that come back brought up to date as the list
// view does it (the session's splices applied to the layout, laid out, the selected task's row
// found), the search having shown one task. The list was loaded as the app loads it, its rows made
// with its content. With `edited`, a task was added during the search (untimed), so the rows of
// the lists before it no longer fit.
void BM_SearchClearedRowsLaidOut(benchmark::State& state)
{
    const int count = int(state.range(0));
    const bool edited = state.range(1) != 0;
    VeskDocument document;
    for (int i = 0; i < count; ++i) {
        VeskTask task {
            QStringLiteral("Task %1: call the supplier about order %2").arg(i).arg(i * 7919 % 100000),
            std::nullopt};
        (i % 5 < 2          ? document.workingItems
                : i % 5 < 4 ? document.inboxItems
                            : document.completedItems)
            .append(task);
    }
    document.inboxItems.last().title += QStringLiteral(" xqend");
    ManualScheduler scheduler;
    SessionController session(&scheduler);
    LoadedContent content = LoadedContent::of(document);
    content.makeRows();
    content.makeSummaries();
    std::vector<std::shared_ptr<const void>> released {session.loadContent(content)};
    content = LoadedContent();
    const ItemIDList& inbox = session.itemIDs(TaskSection::inbox);
    const QUuid selected = inbox.last();
    session.setSelection(SessionSelection::task(selected));
    SessionRows::Seen seen;
    TaskRowLayout layout;
    layout.setScrollContentWidth(400);
    layout.setRelease([&](std::shared_ptr<const void> old) { released.push_back(std::move(old)); });
    const auto update = [&] {
        const QList<RowSplice> splices = session.updateRows(seen);
        layout.setItems(seen.items());
        layout.applySplices(splices);
        layout.relayout();
        benchmark::DoNotOptimize(layout.taskBlock(selected));
    };
    update();
    for (auto _ : state) {
        state.PauseTiming();
        session.setFilterQuery(QStringLiteral("xqend"));
        update();
        if (edited) {
            session.beginCreatingNewItem(QStringLiteral("added xqend"));
            session.commitNewItem();
            session.setSelection(SessionSelection::task(selected));
            update();
        }
        released.clear();
        state.ResumeTiming();
        session.setFilterQuery(QString());
        update();
    }
    state.counters["rows"] = double(layout.rows().size());
}
BENCHMARK(BM_SearchClearedRowsLaidOut)
    ->ArgNames({"tasks", "edited"})
    ->ArgsProduct({{100000, 1600000}, {0, 1}})
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
