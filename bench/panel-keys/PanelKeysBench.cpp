// What one key press, one step of a live drag and one frame of a completion collapse cost in a
// shown task list of 100 and 10,000 tasks (key presses also at 100,000, with the selection at the
// top and at the end of the list). Runs on Qt's offscreen platform unless another one is
// chosen.

#include "panel/PanelKeyHandler.h"
#include "panel/TaskListView.h"
#include "panel/TaskTextLayoutCache.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDragMoveEvent>
#include <QKeyEvent>
#include <QMimeData>

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
        session.setSelection(SessionSelection::task(session.workingItemIDs().first()));
        clock().advance(1);
    }
    QString rowID(const QUuid& id) const
    {
        return QStringLiteral("task-") + taskSectionRawValue(*session.sectionOf(id)) + QLatin1Char('-')
            + canonicalUuidText(id);
    }
};

// J moves the selection down: the key handler, the session and the list's response to it. The
// second argument puts the selection on the first task (0) or on the second-last task of the list,
// in the completed section at its end (1).
void BM_KeyPressMovingTheSelection(benchmark::State& state)
{
    List list(int(state.range(0)));
    if (state.range(1) == 1) {
        const QList<QUuid>& completed = list.session.completedItemIDs();
        list.session.setSelection(SessionSelection::task(completed.at(completed.size() - 2)));
        clock().advance(1);
    }
    QKeyEvent down(QEvent::KeyPress, Qt::Key_J, Qt::NoModifier, QStringLiteral("j"));
    QKeyEvent up(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    bool forward = true;
    for (auto _ : state) {
        list.keys->handleKeyDown(forward ? &down : &up);
        forward = !forward;
        clock().advance(0.05);
    }
}
BENCHMARK(BM_KeyPressMovingTheSelection)
    ->ArgsProduct({{100, 10000, 100000}, {0, 1}})
    ->ArgNames({"tasks", "atEnd"})
    ->Unit(benchmark::kMicrosecond);

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
BENCHMARK(BM_LiveReorderStep)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

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
            framesLeft = int(TaskListView::collapseDuration * 60) - 1;
            state.ResumeTiming();
        }
        clock().advance(1.0 / 60);
        --framesLeft;
    }
}
BENCHMARK(BM_CompletionCollapseFrame)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

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
