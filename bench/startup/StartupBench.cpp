// Launches the real program until its first frame is on screen (the start-up probe prints the time
// of the first paint of the named widget class and ends the process), and the same for an empty Qt
// window and for a Qt window that draws one line of text in the font of the task titles; the time
// counted runs from the launch to that frame. Runs under the X display of the environment, or Qt's
// offscreen platform without one. The runtime folder is on a tmpfs, as a desktop session's is.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdlib>
#include <ctime>

namespace {

// Where the single-instance lock and socket go: on a disk's file system the lock's sync alone costs
// milliseconds that a session's runtime folder, on a tmpfs, does not.
QString runtimeFolder(const QTemporaryDir& home)
{
    static const QTemporaryDir inMemory(QStringLiteral("/dev/shm/vesk-startup-runtime-XXXXXX"));
    return inMemory.isValid() ? inMemory.path() : home.filePath(QStringLiteral("runtime"));
}

qint64 monotonicNanoseconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

QProcessEnvironment environmentIn(const QTemporaryDir& home, const QString& probeClass)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* folder : {"config", "data", "cache"})
        QDir(home.path()).mkpath(QString::fromLatin1(folder));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder(home));
    env.insert(QStringLiteral("VESK_STARTUP_PROBE"), probeClass);
    if (!env.contains(QStringLiteral("DISPLAY")) && !env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

QString writeTaskFile(const QTemporaryDir& home, int tasks)
{
    QString text;
    for (int i = 0; i < tasks; ++i) {
        text += QStringLiteral(
            "Task number %1 with a title of ordinary length [link](https://example.com/%1)\n")
                    .arg(i);
        if (i == tasks / 3 || i == 2 * tasks / 3)
            text += QStringLiteral("---\n");
    }
    const QString path = home.filePath(QStringLiteral("big.vesk"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write(text.toUtf8());
    return path;
}

// Each run starts from the same state: no settings, and no lock or socket of an earlier run.
void resetState(const QTemporaryDir& home)
{
    QDir(home.filePath(QStringLiteral("config"))).removeRecursively();
    QDir(runtimeFolder(home)).removeRecursively();
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir().mkpath(runtimeFolder(home));
    QFile::setPermissions(
        runtimeFolder(home), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void runUntilPainted(benchmark::State& state, const QString& program, const QStringList& arguments,
    const QTemporaryDir& home, const QString& probeClass)
{
    const QProcessEnvironment env = environmentIn(home, probeClass);
    for (auto _ : state) {
        state.PauseTiming();
        resetState(home);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        state.ResumeTiming();
        const qint64 start = monotonicNanoseconds();
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            state.SkipWithError("the program did not paint and end");
            return;
        }
        const QByteArray output = process.readAllStandardOutput();
        const qsizetype at = output.lastIndexOf("first frame ");
        if (at < 0) {
            state.SkipWithError("the program printed no first frame");
            return;
        }
        const qint64 frame = output.mid(at + 12).trimmed().split('\n').first().toLongLong();
        state.SetIterationTime(double(frame - start) / 1e9);
    }
}

void BM_VeskStartupWith1000Tasks(benchmark::State& state)
{
    QTemporaryDir home;
    const QString file = writeTaskFile(home, 1000);
    runUntilPainted(state, QStringLiteral(VESK_PROGRAM), {file}, home, QStringLiteral("TaskListView"));
}
BENCHMARK(BM_VeskStartupWith1000Tasks)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_EmptyQtWindowStartup(benchmark::State& state)
{
    QTemporaryDir home;
    runUntilPainted(state, QStringLiteral(EMPTY_WINDOW_PROGRAM), {}, home, QStringLiteral("QMainWindow"));
}
BENCHMARK(BM_EmptyQtWindowStartup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_OneLineOfTextQtWindowStartup(benchmark::State& state)
{
    QTemporaryDir home;
    runUntilPainted(state, QStringLiteral(TEXT_WINDOW_PROGRAM), {}, home, QStringLiteral("QLabel"));
}
BENCHMARK(BM_OneLineOfTextQtWindowStartup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

} // namespace

BENCHMARK_MAIN();
