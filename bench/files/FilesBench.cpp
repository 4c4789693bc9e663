// What a committed change costs on a long list, from the session's onCommittedChange to the file
// safely on disk, beside the cost of the disk itself.
#include "SavedList.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "platform/DialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/FileState.h"
#include "sync/VeskDocumentController.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

// The whole path of one committed change: check the file, serialise the session, write a temporary
// file, fsync it, rename it over the list and fsync the folder. The second argument fills the
// list's folder with that many other files first.
void BM_CommittedChangeToDisk(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    writeFile(path, longListText(int(state.range(0))).toUtf8());
    for (int other = 0; other < state.range(1); ++other)
        writeFile(folder.filePath(QStringLiteral("other-%1.txt").arg(other)), QByteArray());
    ManualScheduler scheduler;
    NoDialogs dialogs;
    VeskDocumentController controller(&dialogs, &scheduler);
    if (controller.openDocument(QUrl::fromLocalFile(path))) {
        state.SkipWithError("could not open the list");
        return;
    }
    SessionController& session = *controller.sessionController();
    // The change itself is made without the callback; only the callback's work is timed.
    const std::function<void()> onCommittedChange = session.onCommittedChange;
    session.onCommittedChange = nullptr;
    int change = 0;
    for (auto _ : state) {
        state.PauseTiming();
        session.beginCreatingNewItem(QStringLiteral("Change %1").arg(++change));
        session.commitNewItem();
        state.ResumeTiming();
        onCommittedChange();
    }
    if (!controller.appStatus().startsWith(QStringLiteral("Saved ")))
        state.SkipWithError("the change was not saved");
    state.counters["bytes"] = double(QFile(path).size());
}

// The parts of it. The check before a save reads the file for its mark only; beyond the bytes a
// mark keeps (200,000 tasks), that is a digest.
void BM_CheckFile(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    writeFile(path, longListText(int(state.range(0))).toUtf8());
    const DocumentService service;
    for (auto _ : state) {
        FileState file;
        benchmark::DoNotOptimize(FileState::read(service, path, file));
    }
    state.counters["bytes"] = double(QFile(path).size());
}

void BM_Serialise(benchmark::State& state)
{
    const VeskDocument document = parseDocument(longListText(10000));
    for (auto _ : state)
        benchmark::DoNotOptimize(serializeDocument(document));
}

void BM_WriteContents(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    const QString text = longListText(int(state.range(0)));
    const DocumentService service;
    for (auto _ : state)
        benchmark::DoNotOptimize(service.writeContents(text, path));
}

// The disk's own cost: the same bytes written over the same file in place, then one fsync.
void BM_BareFsync(benchmark::State& state)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    const QByteArray bytes = longListText(10000).toUtf8();
    writeFile(path, bytes);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    for (auto _ : state) {
        state.PauseTiming();
        benchmark::DoNotOptimize(::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0));
        state.ResumeTiming();
        benchmark::DoNotOptimize(::fsync(fd));
    }
    ::close(fd);
}

} // namespace

BENCHMARK(BM_CommittedChangeToDisk)
    ->Args({1000, 0})
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({1000, 50000})
    ->ArgNames({"tasks", "otherFiles"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CheckFile)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Serialise)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteContents)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BareFsync)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
