// Reading, writing and loading task files of 1,000, 10,000 and 100,000 tasks, beside the cost of
// merely decoding the file's bytes; and saving into a crowded folder.

#include "GeneratedList.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"

#ifdef VESK_BENCH_SESSION
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#endif

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

namespace {

struct Fixture {
    QByteArray bytes;
    QString text;
    VeskDocument document;
};

const Fixture& fixture(int taskCount)
{
    static std::map<int, Fixture> fixtures;
    auto it = fixtures.find(taskCount);
    if (it == fixtures.end()) {
        Fixture f;
        f.document = makeDocument(taskCount);
        f.text = serializeDocument(f.document);
        f.bytes = f.text.toUtf8();
        it = fixtures.emplace(taskCount, std::move(f)).first;
    }
    return it->second;
}

void setCounters(benchmark::State& state, const Fixture& f)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * f.bytes.size());
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
    state.counters["file_KiB"] = double(f.bytes.size()) / 1024;
}

void decodeBytes(benchmark::State& state)
{
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        QString text = QString::fromUtf8(f.bytes);
        benchmark::DoNotOptimize(text.constData());
    }
    setCounters(state, f);
}

void parse(benchmark::State& state)
{
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        VeskDocument document = parseDocument(f.text);
        benchmark::DoNotOptimize(document.inboxItems.constData());
        // Freeing the result is not part of reading it.
        state.PauseTiming();
        document = {};
        state.ResumeTiming();
    }
    setCounters(state, f);
}

// Reading a file's bytes into a document, decoding included: what opening a list costs beside
// decode_utf8.
void parseBytes(benchmark::State& state)
{
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        VeskDocument document = parseDocumentUtf8(f.bytes);
        benchmark::DoNotOptimize(document.inboxItems.constData());
        state.PauseTiming();
        document = {};
        state.ResumeTiming();
    }
    setCounters(state, f);
}

void serialize(benchmark::State& state)
{
    const Fixture& f = fixture(int(state.range(0)));
    for (auto _ : state) {
        QString text = serializeDocument(f.document);
        benchmark::DoNotOptimize(text.constData());
    }
    setCounters(state, f);
}

// Saving a 1,000-task list into a folder that holds the given number of other files: what a save
// costs beyond the disk's own work depends on whether it looks through the folder.
void saveInCrowdedFolder(benchmark::State& state)
{
    QTemporaryDir folder;
    for (int i = 0; i < state.range(0); ++i)
        QFile(folder.filePath(QStringLiteral("note-%1.txt").arg(i))).open(QIODevice::WriteOnly);
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    const QString& text = fixture(1000).text;
    const DocumentService service;
    for (auto _ : state)
        benchmark::DoNotOptimize(service.writeContents(text, path));
}

#ifdef VESK_BENCH_SESSION
void loadIntoSession(benchmark::State& state)
{
    const Fixture& f = fixture(int(state.range(0)));
    // Loaded as the application loads it: as read from the file.
    const VeskDocument document = parseDocument(f.text);
    ManualScheduler scheduler;
    SessionController session(&scheduler);
    for (auto _ : state) {
        session.loadDocument(document);
        benchmark::DoNotOptimize(&session);
    }
    setCounters(state, f);
}
#endif

} // namespace

int main(int argc, char** argv)
{
    // Memory freed between iterations stays with the program, and every list here comes from the
    // heap. Otherwise a parse's figure would include the kernel faulting its pages in afresh
    // whenever the last iteration's frees let glibc hand them back (texts kept in a few large
    // blocks merge and are given back, many small strings are not), and the largest lists would be
    // mapped and unmapped on every iteration: neither is reading the file. An older build is
    // measured alike with
    // GLIBC_TUNABLES=glibc.malloc.trim_threshold=1073741824:glibc.malloc.mmap_threshold=33554432.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    // Grouped by size so each size's figures stand side by side.
    for (int taskCount : {1000, 10000, 100000}) {
        benchmark::RegisterBenchmark("decode_utf8", decodeBytes)
            ->Arg(taskCount)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("parseDocument", parse)->Arg(taskCount)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("parseBytes", parseBytes)->Arg(taskCount)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("serializeDocument", serialize)
            ->Arg(taskCount)
            ->Unit(benchmark::kMicrosecond);
#ifdef VESK_BENCH_SESSION
        benchmark::RegisterBenchmark("loadDocument", loadIntoSession)
            ->Arg(taskCount)
            ->Unit(benchmark::kMicrosecond);
#endif
    }
    for (int files : {0, 50000})
        benchmark::RegisterBenchmark("saveInCrowdedFolder", saveInCrowdedFolder)
            ->Arg(files)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
