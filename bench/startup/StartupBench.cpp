// Launches the real program until its first frame is on screen (the start-up probe ends the
// process right after the first paint of the named widget class), and the same for an empty Qt
// window and for a Qt window that draws one line of text in the font of the task titles. Runs under the X
// display of the environment, or Qt's offscreen platform without one.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QProcessEnvironment environmentIn(const QTemporaryDir& home, const QString& probeClass)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* folder : {"config", "data", "cache", "runtime"})
        QDir(home.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
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
    QDir(home.filePath(QStringLiteral("runtime"))).removeRecursively();
    QDir(home.path()).mkpath(QStringLiteral("config"));
    QDir(home.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            state.SkipWithError("the program did not paint and end");
            return;
        }
    }
}

void BM_VeskStartupWith1000Tasks(benchmark::State& state)
{
    QTemporaryDir home;
    const QString file = writeTaskFile(home, 1000);
    runUntilPainted(state, QStringLiteral(VESK_PROGRAM), {file}, home, QStringLiteral("TaskListView"));
}
BENCHMARK(BM_VeskStartupWith1000Tasks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_EmptyQtWindowStartup(benchmark::State& state)
{
    QTemporaryDir home;
    runUntilPainted(state, QStringLiteral(EMPTY_WINDOW_PROGRAM), {}, home, QStringLiteral("QMainWindow"));
}
BENCHMARK(BM_EmptyQtWindowStartup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_OneLineOfTextQtWindowStartup(benchmark::State& state)
{
    QTemporaryDir home;
    runUntilPainted(state, QStringLiteral(TEXT_WINDOW_PROGRAM), {}, home, QStringLiteral("QLabel"));
}
BENCHMARK(BM_OneLineOfTextQtWindowStartup)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

BENCHMARK_MAIN();
