// What one key press, one step of a live drag and one frame of a completion collapse cost in a
// shown task list of 1,000 to 100,000 tasks, with the selection at the top or at the end of the
// list; and what selecting and scrolling past a task with a very long unbroken title costs. Runs on
// Qt's offscreen platform unless another one is chosen.

#include "panel/PanelKeyHandler.h"
#include "panel/TaskListAccessibility.h"
#include "panel/TaskListView.h"
#include "panel/TaskTextLayoutCache.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <benchmark/benchmark.h>

#include <QAccessible>
#include <QApplication>
#include <QDragMoveEvent>
#include <QKeyEvent>
#include <QMimeData>

#include <ctime>
#include <functional>
#include <memory>

namespace {

ManualScheduler& clock()
{
    static ManualScheduler scheduler;
    return scheduler;
}

VeskDocument document(int count)
{
    VeskDocument result;
    for (int i = 0; i < count; ++i) {
        VeskTask task {
            QStringLiteral("Task %1: call the supplier about order %2").arg(i).arg(i * 7919 % 100000),
            std::nullopt};
        (i % 5 < 2 ? result.workingItems : i % 5 < 4 ? result.inboxItems : result.completedItems) << task;
    }
    return result;
}

struct List {
    SessionController session {&clock()};
    std::unique_ptr<TaskListView> view;
    std::unique_ptr<PanelKeyHandler> keys;

    explicit List(int count)
    {
        TaskTextLayoutCache::shared().setScheduler(&clock());
        session.loadDocument(document(count));
        view = std::make_unique<TaskListView>(&session, &clock());
        view->setWindowActive(true);
        view->resize(480, 640);
        view->show();
        keys = std::make_unique<PanelKeyHandler>(&session, &clock(), view.get());
        keys->setListView(view.get());
        if (!session.workingItemIDs().isEmpty())
            session.setSelection(SessionSelection::task(session.workingItemIDs().first()));
        clock().advance(1);
    }
    QString rowID(const QUuid& id) const
    {
        return QStringLiteral("task-") + taskSectionRawValue(*session.sectionOf(id)) + QLatin1Char('-')
            + canonicalUuidText(id);
    }
};

// Where the selection starts: on the first task of the list, or on the last one.
enum Place { top, end };

void selectAt(List& list, Place place)
{
    const ItemIDList ids
        = place == top ? list.session.workingItemIDs() : list.session.itemIDs(TaskSection::completed);
    list.session.setSelection(SessionSelection::task(place == top ? ids.first() : ids.last()));
    clock().advance(1);
}

// Presses `first` and `second` in turn, one per iteration.
void alternate(benchmark::State& state, List& list, QKeyEvent& first, QKeyEvent& second)
{
    bool firstNext = true;
    for (auto _ : state) {
        list.keys->handleKeyDown(firstNext ? &first : &second);
        firstNext = !firstNext;
        clock().advance(0.05);
    }
}

// Presses `down` and `up` in turn, the first away from the list's edge the selection starts at, so
// that the selection stays where it was placed.
void pressInTurn(benchmark::State& state, List& list, QKeyEvent& down, QKeyEvent& up)
{
    if (state.range(1) == top)
        alternate(state, list, down, up);
    else
        alternate(state, list, up, down);
}

// J and K move the selection down and up: the key handler, the session and the list's response to
// it (the reveal included).
void BM_KeyPressMovingTheSelection(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_J, Qt::NoModifier, QStringLiteral("j"));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    pressInTurn(state, list, down, up);
}
BENCHMARK(BM_KeyPressMovingTheSelection)
    ->ArgsProduct({{1000, 10000, 100000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

// Ctrl+J and Ctrl+K move the selected task down and up in its section: a committed session change,
// the rows rebuilt and the moved row revealed.
void BM_KeyPressMovingTheSelectedTask(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    QKeyEvent down(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier, QStringLiteral("\n"));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier, QStringLiteral("\v"));
    pressInTurn(state, list, down, up);
}
BENCHMARK(BM_KeyPressMovingTheSelectedTask)
    ->ArgsProduct({{1000, 10000, 100000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

// Delete and then Ctrl+Z on the selected task, in turn: a task leaving its section and coming
// back, each a committed change that the rows and the layout take as splices. Up to a list of
// about 100 MB.
void BM_KeyPressDeletingAndUndoing(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("\x1a"));
    alternate(state, list, remove, undo);
}
BENCHMARK(BM_KeyPressDeletingAndUndoing)
    ->ArgsProduct({{100000, 1600000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

// Return in the new-task row and then Ctrl+Z, in turn: a task added at the top of Pending and taken
// away again (undoing opens the row again with its text), each a committed change. Up to a list of
// about 100 MB.
void BM_KeyPressCommittingANewTaskAndUndoing(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    list.session.beginCreatingNewItem(QStringLiteral("Call the supplier about the new order"));
    clock().advance(1);
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("\x1a"));
    bool commitNext = true;
    for (auto _ : state) {
        // Return reaches the session from the new-task row's editor.
        if (commitNext)
            list.session.commitNewItem();
        else
            list.keys->handleKeyDown(&undo);
        commitNext = !commitNext;
        clock().advance(0.05);
    }
}
BENCHMARK(BM_KeyPressCommittingANewTaskAndUndoing)
    ->ArgsProduct({{100000, 1600000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

// Ctrl+Z and Ctrl+Shift+Z in turn after deleting the selected task: restoring a recorded state
// each time (both sections' lists and the tasks), which the rows and the layout take as splices.
void BM_KeyPressUndoingAndRedoing(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    QKeyEvent remove(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QKeyEvent undo(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier, QStringLiteral("\x1a"));
    QKeyEvent redo(
        QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("\x1a"));
    list.keys->handleKeyDown(&remove);
    clock().advance(0.05);
    alternate(state, list, undo, redo);
}
BENCHMARK(BM_KeyPressUndoingAndRedoing)
    ->ArgsProduct({{100000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

// A list of 100 short tasks with one task in the middle whose title is range(0) bytes without a
// break opportunity. One iteration selects that task, lets it expand and paints, then selects its
// neighbour and paints again.
void BM_SelectingALongUnbrokenTitle(benchmark::State& state)
{
    VeskDocument document;
    for (int i = 0; i < 100; ++i)
        document.workingItems << VeskTask {QStringLiteral("Task %1").arg(i), std::nullopt};
    QString title;
    title.reserve(qsizetype(state.range(0)));
    while (title.size() < state.range(0))
        title += QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789");
    title.truncate(qsizetype(state.range(0)));
    document.workingItems.insert(50, VeskTask {title, std::nullopt});
    List list(0);
    list.session.loadDocument(document);
    const QUuid longID = list.session.workingItemIDs().at(50);
    const QUuid neighbour = list.session.workingItemIDs().at(49);
    list.session.setSelection(SessionSelection::task(neighbour));
    clock().advance(1);
    list.view->setScrollOffset(list.view->rowRect(list.rowID(neighbour)).top());
    for (auto _ : state) {
        list.session.setSelection(SessionSelection::task(longID));
        clock().advance(1);
        list.view->viewport()->grab();
        list.session.setSelection(SessionSelection::task(neighbour));
        clock().advance(1);
        list.view->viewport()->grab();
    }
}
BENCHMARK(BM_SelectingALongUnbrokenTitle)
    ->Arg(50000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// Scrolling a screen at a time past the same task, unselected, painting each frame.
void BM_ScrollingPastALongUnbrokenTitle(benchmark::State& state)
{
    VeskDocument document;
    for (int i = 0; i < 100; ++i)
        document.workingItems << VeskTask {QStringLiteral("Task %1").arg(i), std::nullopt};
    document.workingItems.insert(
        50, VeskTask {QString(qsizetype(state.range(0)), QLatin1Char('x')), std::nullopt});
    List list(0);
    list.session.loadDocument(document);
    list.session.setSelection(SessionSelection::none());
    clock().advance(1);
    const double middle = list.view->rowRect(list.rowID(list.session.workingItemIDs().at(50))).top();
    const double page = list.view->viewport()->height() / 2.0;
    for (auto _ : state) {
        for (double offset = middle - 2 * page; offset <= middle + 2 * page; offset += page) {
            list.view->setScrollOffset(offset);
            list.view->viewport()->grab();
        }
    }
}
BENCHMARK(BM_ScrollingPastALongUnbrokenTitle)
    ->Arg(50000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// One pointer movement of a drag that moves the dragged task (the first of the working list) over
// the lower and then the upper half of the next row: a session move, the rows rebuilt and the
// rows in sight set sliding.
void BM_LiveReorderStep(benchmark::State& state)
{
    List list(int(state.range(0)));
    QMimeData text;
    const QUuid dragged = list.session.workingItemIDs().at(0);
    const QUuid neighbour = list.session.workingItemIDs().at(1);
    text.setText(canonicalUuidText(dragged));
    list.view->setDraggedTaskID(dragged);
    QDragEnterEvent enter(QPoint(100, 30), Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list.view->viewport(), &enter);
    // The two places the tasks swap between.
    const QRectF first = list.view->rowRect(list.rowID(dragged));
    const QRectF second = list.view->rowRect(list.rowID(neighbour));
    bool below = true;
    for (auto _ : state) {
        const QPoint point(int(first.center().x()), int(below ? second.bottom() - 2 : first.top() + 2));
        QDragMoveEvent move(point, Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list.view->viewport(), &move);
        below = !below;
    }
    if (list.session.undoStack().size() < int(state.iterations()))
        state.SkipWithError("the drag did not move the task");
}
BENCHMARK(BM_LiveReorderStep)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// One frame (1/60 s) of the collapse that follows a completion: layout with the shrinking shell
// and the growing landed row.
void BM_CompletionCollapseFrame(benchmark::State& state)
{
    List list(int(state.range(0)));
    int framesLeft = 0;
    for (auto _ : state) {
        if (framesLeft == 0) {
            state.PauseTiming();
            clock().advance(1);
            list.session.setSelection(SessionSelection::task(list.session.workingItemIDs().at(2)));
            list.session.toggleSelectedItemCompletion();
            clock().advance(SessionController::completionPreviewDelay);
            framesLeft = int(TaskRowTransitions::collapseDuration * 60) - 1;
            state.ResumeTiming();
        }
        clock().advance(1.0 / 60);
        --framesLeft;
    }
}
BENCHMARK(BM_CompletionCollapseFrame)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// A whole landing after Space: the key, the completion shell leaving (the task lands in its new
// section) and every frame of the collapse until it has ended, with the selection on the first task
// (it lands at the top of Complete, far below) or on the last pending one (it lands just below). The
// time of an iteration is the landing's slowest frame (processor time); the key and the shell's leaving are
// counters.
void BM_LandingWorstFrame(benchmark::State& state)
{
    List list(int(state.range(0)));
    const Place place = Place(state.range(1));
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    double keys = 0, leaves = 0;
    // The thread's processor time: on a loaded machine, wall time says more about the other work.
    const auto timed = [](const std::function<void()>& step) {
        const auto now = [] {
            timespec time {};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
            return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
        };
        const double start = now();
        step();
        return now() - start;
    };
    for (auto _ : state) {
        clock().advance(1);
        const ItemIDList pending = list.session.itemIDs(TaskSection::inbox);
        if (place == top)
            selectAt(list, top);
        else
            list.session.setSelection(SessionSelection::task(pending.last()));
        keys += timed([&] { list.keys->handleKeyDown(&space); });
        const double leave = timed([&] { clock().advance(SessionController::completionPreviewDelay); });
        leaves += leave;
        double worst = leave;
        while (list.view->transitions().isRunning())
            worst = std::max(worst, timed([&] { clock().advance(1.0 / 60); }));
        state.SetIterationTime(worst);
    }
    state.counters["key_us"] = benchmark::Counter(keys * 1e6 / double(state.iterations()));
    state.counters["leave_us"] = benchmark::Counter(leaves * 1e6 / double(state.iterations()));
}
BENCHMARK(BM_LandingWorstFrame)
    ->ArgsProduct({{1000, 10000, 100000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Ctrl+J and Ctrl+K as above while an assistive technology listens and has read the list: the
// accessibility tree follows every change and announces it.
void BM_KeyPressMovingTheSelectedTaskAccessible(benchmark::State& state)
{
    List list(int(state.range(0)));
    selectAt(list, Place(state.range(1)));
    TaskListAccessibility::sendEvent = [](QAccessibleEvent*) {};
    QAccessible::setActive(true);
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(list.view.get());
    for (int section = 0; section < 3; ++section)
        if (QAccessibleInterface* group = tree->child(section); group && group->childCount() > 0)
            group->child(group->childCount() - 1)->text(QAccessible::Name);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_J, Qt::ControlModifier, QStringLiteral("\n"));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_K, Qt::ControlModifier, QStringLiteral("\v"));
    pressInTurn(state, list, down, up);
    QAccessible::setActive(false);
}
BENCHMARK(BM_KeyPressMovingTheSelectedTaskAccessible)
    ->ArgsProduct({{1000, 10000, 100000}, {top, end}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
