// Whole processes, as a shell runs them, on lists of 10,000 tasks: `vesk add`, `vesk done` and
// `vesk list`; `cat` of the same file, the floor for any program that reads it; and, where they are
// installed, Taskwarrior's `task add` and todo.txt's `todo-txt add` on equal lists of their own.
// todo.txt does not sync its file to the disk; Taskwarrior and vesk do.
// Run with --benchmark_repetitions=N to get medians on a busy machine.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int taskCount = 10000;

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::abort();
}

// Runs a program to its end with standard output and error going nowhere; false when it failed.
bool run(const QStringList& arguments)
{
    QList<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes << QFile::encodeName(argument);
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Lists {
    QTemporaryDir folder;
    QString vesk = folder.filePath(QStringLiteral("list.vesk"));
    QString taskrc = folder.filePath(QStringLiteral("taskrc"));
    QString todoConfig = folder.filePath(QStringLiteral("todo.cfg"));

    Lists()
    {
        QByteArray tasks;
        for (int i = 0; i < taskCount; ++i)
            tasks += "Task number " + QByteArray::number(i) + " with a title of ordinary length\n";
        writeFile(vesk, "---\n" + tasks + "---\n");

        // Taskwarrior: its data files, as it writes them, and an rc file that asks nothing.
        QDir(folder.path()).mkdir(QStringLiteral("task"));
        QByteArray pending;
        for (int i = 0; i < taskCount; ++i) {
            pending += "[description:\"Task number " + QByteArray::number(i)
                + " with a title of ordinary length\" entry:\"1700000000\" modified:\"1700000000\" "
                  "status:\"pending\" uuid:\""
                + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "\"]\n";
        }
        writeFile(folder.filePath(QStringLiteral("task/pending.data")), pending);
        writeFile(taskrc,
            "data.location=" + QFile::encodeName(folder.filePath(QStringLiteral("task")))
                + "\nconfirmation=off\nverbose=nothing\nhooks=off\n");

        // todo.txt: one task per line.
        QDir(folder.path()).mkdir(QStringLiteral("todo"));
        writeFile(folder.filePath(QStringLiteral("todo/todo.txt")), tasks);
        const QByteArray todoDir = QFile::encodeName(folder.filePath(QStringLiteral("todo")));
        writeFile(todoConfig,
            "export TODO_DIR=" + todoDir
                + "\nexport TODO_FILE=$TODO_DIR/todo.txt\n"
                  "export DONE_FILE=$TODO_DIR/done.txt\nexport REPORT_FILE=$TODO_DIR/report.txt\n");
    }
};

Lists& lists()
{
    static Lists instance;
    return instance;
}

void measure(benchmark::State& state, const QStringList& arguments)
{
    if (arguments.first().isEmpty()) {
        state.SkipWithError("not installed");
        return;
    }
    for (auto _ : state) {
        if (!run(arguments)) {
            state.SkipWithError(qPrintable(arguments.join(u' ') + QStringLiteral(" failed")));
            return;
        }
    }
}

QString program(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

void catFile(benchmark::State& state)
{
    measure(state, {program("cat"), lists().vesk});
}

void veskAdd(benchmark::State& state)
{
    measure(state,
        {QStringLiteral(VESK_PROGRAM), QStringLiteral("add"), lists().vesk, QStringLiteral("A new task")});
}

void veskDone(benchmark::State& state)
{
    // Each run completes the first Pending task; the list keeps its 10,000 tasks.
    measure(
        state, {QStringLiteral(VESK_PROGRAM), QStringLiteral("done"), lists().vesk, QStringLiteral("p1")});
}

void veskList(benchmark::State& state)
{
    measure(state, {QStringLiteral(VESK_PROGRAM), QStringLiteral("list"), lists().vesk});
}

void taskwarriorAdd(benchmark::State& state)
{
    measure(state,
        {program("task"), QStringLiteral("rc:") + lists().taskrc, QStringLiteral("add"),
            QStringLiteral("A new task")});
}

void todoTxtAdd(benchmark::State& state)
{
    QString todo = program("todo-txt");
    if (todo.isEmpty())
        todo = program("todo.sh");
    measure(state,
        {todo, QStringLiteral("-d"), lists().todoConfig, QStringLiteral("add"),
            QStringLiteral("A new task")});
}

} // namespace

BENCHMARK(catFile)->Name("cat/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(veskAdd)->Name("vesk add/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(veskDone)->Name("vesk done/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(veskList)->Name("vesk list/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(taskwarriorAdd)->Name("task add/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(todoTxtAdd)->Name("todo-txt add/10000 tasks")->UseRealTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
