// What a committed change costs the interface thread on a long list, and how long until it is safely
// on disk, beside the floor of the same work done directly: serialising the list and writing it
// through a temporary file with fsync of the file and its folder.
//
//   sync_bench [--repetitions N] [--sizes 1000,10000,100000]
//   sync_bench --activation [--repetitions N] [--sizes 1600000]
//   sync_bench --reload [--repetitions N] [--sizes 100000,1600000]
//   sync_bench --open [--repetitions N] [--sizes 100000,1600000]
//   sync_bench --reload-from-disk [--repetitions N] [--sizes 100000,1600000]
//   sync_bench --save-finds-change [--repetitions N] [--sizes 100000,1600000]
//   sync_bench --drop-opening [--not-utf8] [--after 0,200,...] [--repetitions N] [--sizes 1600000]
//
// SYNC_BENCH_PARTS=1 also prints, per commit, the interface thread's CPU time in onCommittedChange,
// in taking in the outcome, and in the watcher's report. The source builds against trees without
// the writer too, for comparing the two in one run.
//
// "writer ms" is the CPU time of every other thread over the same span: the writer's work per save.
// Per commit, the interface thread's share is its CPU time from the session's onCommittedChange
// through taking in the save's outcome and the file watcher's report of the save: the time the
// thread could not spend on keys and painting. "durable" is the wall time from onCommittedChange
// until the save's outcome is known, which comes only after the data and the folder are synced.
// Builds without the writer save inside onCommittedChange, so there both are the same call.
//
// --activation times instead the check of the file made whenever a panel becomes key, on a list that
// nobody changed: "interface ms" is the interface thread's CPU time for the call and for taking in
// the answer, "call ms" the wall time of the call itself (the frame it holds), "answer ms" the wall
// time until the answer is taken in. Builds that check on the interface thread answer within the call.
//
// --reload times the same check on a list that another program has just replaced (by rename, as
// editors save), so that every check reloads it: the columns are those of --activation, and
// "session load ms" is the interface thread's CPU time of SessionController::loadDocument alone for
// the same list, measured beside it: the part of a reload no build can move off the interface thread
// without preparing the session's state elsewhere. "rows ms" is the interface thread's CPU time for
// bringing a reader of the session's rows up to date after the reload, as the list view does when the
// session reports the new content (its layout and painting not included), and "copy ms" beside it
// the time to copy the rows handed over, one by one, as a reader that keeps its own list of rows does
// (the list view).
//
// --open times opening a list in a running Vesk (File > Open, a recent file, a drop), and
// --reload-from-disk the "Reload from Disk" of the recovery alert, each on a list just written by
// another program: "interface ms" is the interface thread's CPU time from the call until the list is
// loaded into the session (the call, and taking in the answer), "call ms" the wall time of the call,
// "ready ms" the wall time until the list is loaded, and "rows ms" the interface thread's CPU time for
// a reader of the session's rows to bring them up to date after it, as a panel does. Builds that read
// on the interface thread are ready within the call.
//
// --save-finds-change times a save that finds the list replaced by another program while nothing is
// unsaved (a commit that changed nothing the file holds): the other program's version is loaded and
// written back. "interface ms" is the interface thread's CPU time from asking for the save until all
// of that is done, "ready ms" the wall time.
//
// --drop-opening times closing a document while its list is being opened in the background (Quit, or
// the window closed): the list's opening is started, and after "after ms" of it the document stops
// its file access, which waits for the writer. "close ms" is the wall time of that wait. With
// --not-utf8 the list's first byte is not UTF-8; --after gives the times after which it is closed.
#include "SavedList.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "platform/DialogPresenter.h"
#include "platform/FileWatcher.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>

#if __has_include("sync/FileCheck.h")
#define VESK_CHECKS_ON_WRITER 1
#else
#define VESK_CHECKS_ON_WRITER 0
#endif

#if __has_include("sync/ListLoad.h")
#define VESK_LOADS_ON_WRITER 1
#else
#define VESK_LOADS_ON_WRITER 0
#endif

#if __has_include("sync/DocumentWriter.h")
#define VESK_SAVES_ON_WRITER 1
#else
#define VESK_SAVES_ON_WRITER 0
#endif

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec now {};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double threadSeconds()
{
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

struct Row {
    double interfaceMs = 0;
    double writerMs = 0;
    double callbackMs = 0;
    double durableMs = 0;
    double floorMs = 0;
    qint64 bytes = 0;
    bool saved = true;
};

void waitForWrites(VeskDocumentController& controller)
{
#if VESK_SAVES_ON_WRITER
    controller.waitForWrites();
#else
    Q_UNUSED(controller);
#endif
}

// How another program saves: a new file renamed over the old one.
bool replaceFile(const QString& path, const QByteArray& bytes)
{
    const QString part = path + QStringLiteral(".part");
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return std::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData()) == 0;
}

// A list written to a folder of its own and opened by a document controller, where every
// measurement starts.
struct OpenedList {
    explicit OpenedList(const QByteArray& bytes)
        : folder(QDir::current().filePath(QStringLiteral("sync-bench-XXXXXX"))),
          path(folder.filePath(QStringLiteral("list.vesk"))),
          controller(&dialogs, &scheduler)
    {
        opened = replaceFile(path, bytes) && !controller.openDocument(QUrl::fromLocalFile(path));
    }

    QTemporaryDir folder;
    QString path;
    ManualScheduler scheduler;
    NoDialogs dialogs;
    VeskDocumentController controller;
    bool opened = false;
};

Row measure(int taskCount, int repetitions)
{
    OpenedList list(longListText(taskCount).toUtf8());
    Row row;
    if (!list.opened) {
        row.saved = false;
        return row;
    }
    VeskDocumentController& controller = list.controller;
    SessionController& session = *controller.sessionController();
    // The change itself is made without the callback; only the save's work is measured.
    const std::function<void()> onCommittedChange = session.onCommittedChange;
    const DocumentService service;
    const QString floorPath = list.folder.filePath(QStringLiteral("floor.vesk"));
    QList<double> interfaceMs, writerMs, callbackMs, durableMs, floorMs;
    for (int change = 0; change <= repetitions; ++change) {
        session.onCommittedChange = nullptr;
        session.beginCreatingNewItem(QStringLiteral("Change %1").arg(change));
        session.commitNewItem();
        session.onCommittedChange = onCommittedChange;

        QElapsedTimer wall;
        const double cpuStart = threadSeconds();
        const double processStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        wall.start();
        onCommittedChange();
        const double callback = double(wall.nsecsElapsed()) / 1e6;
        const double cpuCallback = threadSeconds();
        waitForWrites(controller);
        const double durable = double(wall.nsecsElapsed()) / 1e6;
        const double cpuOutcome = threadSeconds();
        // The watcher's report of the save's own replacement of the file.
        for (FileWatcher* watcher : controller.findChildren<FileWatcher*>())
            watcher->processPendingEvents();
        list.scheduler.advance(FileWatcher::coalescingDelay * 2);
        waitForWrites(controller);
        const double cpuEnd = threadSeconds();
        const double interface = (cpuEnd - cpuStart) * 1000;
        // Every other thread's share is the writer's: the save, and its check of the watcher's report.
        const double writer = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart) * 1000 - interface;
        if (qEnvironmentVariableIsSet("SYNC_BENCH_PARTS"))
            std::printf("  callback %.3f  outcome %.3f  echo %.3f ms cpu\n", (cpuCallback - cpuStart) * 1000,
                (cpuOutcome - cpuCallback) * 1000, (cpuEnd - cpuOutcome) * 1000);
        row.saved = row.saved && controller.appStatus().startsWith(QStringLiteral("Saved "));

        // The floor: the same list's text made and written directly.
        wall.restart();
        const QString text = serializeDocument(session.committedDocument());
        const bool floorWritten = !service.writeContents(text, floorPath);
        const double floor = double(wall.nsecsElapsed()) / 1e6;
        row.saved = row.saved && floorWritten;
        if (change == 0)
            continue; // the first round warms caches and starts the writer
        interfaceMs.append(interface);
        writerMs.append(writer);
        callbackMs.append(callback);
        durableMs.append(durable);
        floorMs.append(floor);
    }
    row.interfaceMs = median(interfaceMs);
    row.writerMs = median(writerMs);
    row.callbackMs = median(callbackMs);
    row.durableMs = median(durableMs);
    row.floorMs = median(floorMs);
    row.bytes = QFile(list.path).size();
    return row;
}

struct CheckRow {
    double interfaceMs = 0;
    double callMs = 0;
    double answerMs = 0;
    qint64 bytes = 0;
    bool inSync = true;
};

CheckRow measureActivationCheck(int taskCount, int repetitions)
{
    OpenedList list(longListText(taskCount).toUtf8());
    CheckRow row;
    row.bytes = QFile(list.path).size();
    if (!list.opened) {
        row.inSync = false;
        return row;
    }
    VeskDocumentController& controller = list.controller;
    QList<double> interfaceMs, callMs, answerMs;
    for (int check = 0; check <= repetitions; ++check) {
        QElapsedTimer wall;
        const double cpuStart = threadSeconds();
        wall.start();
        controller.checkForExternalChanges();
        const double call = double(wall.nsecsElapsed()) / 1e6;
        waitForWrites(controller);
        const double answer = double(wall.nsecsElapsed()) / 1e6;
        const double interface = (threadSeconds() - cpuStart) * 1000;
        row.inSync = row.inSync && controller.syncState() == SyncState::inSync
            && controller.appStatus().startsWith(QStringLiteral("Loaded "));
        if (check == 0)
            continue; // the first round starts the writer
        interfaceMs.append(interface);
        callMs.append(call);
        answerMs.append(answer);
    }
    row.interfaceMs = median(interfaceMs);
    row.callMs = median(callMs);
    row.answerMs = median(answerMs);
    return row;
}

int activationChecks(const QList<int>& sizes, int repetitions)
{
    std::printf("activation checks %s; medians of %d checks of an unchanged list\n",
        VESK_CHECKS_ON_WRITER ? "on the writer thread" : "on the interface thread", repetitions);
    std::printf("%8s %10s %14s %12s %12s\n", "tasks", "bytes", "interface ms", "call ms", "answer ms");
    for (int size : sizes) {
        const CheckRow row = measureActivationCheck(size, repetitions);
        std::printf("%8d %10lld %14.3f %12.3f %12.3f%s\n", size, qlonglong(row.bytes), row.interfaceMs,
            row.callMs, row.answerMs, row.inSync ? "" : "  (not in sync)");
        std::fflush(stdout);
    }
    return 0;
}

struct ReloadRow {
    double interfaceMs = 0;
    double callMs = 0;
    double answerMs = 0;
    double sessionLoadMs = 0;
    double rowsMs = 0;
    double copyMs = 0;
    qint64 bytes = 0;
    bool reloaded = true;
};

ReloadRow measureReload(int taskCount, int repetitions)
{
    // Two versions of the list that differ in their first title, written in turn.
    const QByteArray first = longListText(taskCount).toUtf8();
    QByteArray second = first;
    second[0] = 'M';
    ReloadRow row;
    row.bytes = first.size();
    OpenedList list(first);
    if (!list.opened) {
        row.reloaded = false;
        return row;
    }
    VeskDocumentController& controller = list.controller;
    SessionRows::Seen seen;
    controller.sessionController()->updateRows(seen);
    QList<double> interfaceMs, callMs, answerMs, sessionLoadMs, rowsMs, copyMs;
    for (int reload = 0; reload <= repetitions; ++reload) {
        if (!replaceFile(list.path, reload % 2 == 0 ? second : first)) {
            row.reloaded = false;
            return row;
        }
        QElapsedTimer wall;
        const double cpuStart = threadSeconds();
        wall.start();
        controller.checkForExternalChanges();
        const double call = double(wall.nsecsElapsed()) / 1e6;
        waitForWrites(controller);
        const double answer = double(wall.nsecsElapsed()) / 1e6;
        const double interface = (threadSeconds() - cpuStart) * 1000;
        // The copy is let go of outside both spans.
        std::vector<RenderedRow> copied;
        const double rowsStart = threadSeconds();
        qsizetype splices = 0;
        double copy = 0;
        {
            const QList<RowSplice> spliced = controller.sessionController()->updateRows(seen);
            splices = spliced.size();
            const double copyStart = threadSeconds();
            for (const RowSplice& splice : spliced) {
                copied.reserve(copied.size() + size_t(splice.inserted.size()));
                for (const RenderedRow& inserted : splice.inserted)
                    copied.push_back(inserted);
            }
            copy = (threadSeconds() - copyStart) * 1000;
        }
        const double rows = (threadSeconds() - rowsStart) * 1000 - copy;
        copied = {};
        const QList<VeskTask> working = controller.sessionController()->committedDocument().workingItems;
        const QString firstTitle = working.isEmpty() ? QString() : working.constFirst().title;
        row.reloaded = row.reloaded && controller.syncState() == SyncState::inSync
            && controller.appStatus().startsWith(QStringLiteral("Reloaded "))
            && firstTitle.startsWith(reload % 2 == 0 ? u'M' : u'T') && splices > 0;

        // The session's own share: the same list loaded into a session of its own.
        double sessionLoad = 0;
        {
            const VeskDocument document = controller.sessionController()->committedDocument();
            SessionController session(&list.scheduler);
            const double loadStart = threadSeconds();
            session.loadDocument(document);
            sessionLoad = (threadSeconds() - loadStart) * 1000;
        }
        // A second on, as in the application: what the reload let go of is freed on the writer.
        list.scheduler.advance(2);
        waitForWrites(controller);
        if (reload == 0)
            continue; // the first round starts the writer
        interfaceMs.append(interface);
        callMs.append(call);
        answerMs.append(answer);
        sessionLoadMs.append(sessionLoad);
        rowsMs.append(rows);
        copyMs.append(copy);
    }
    row.interfaceMs = median(interfaceMs);
    row.callMs = median(callMs);
    row.answerMs = median(answerMs);
    row.sessionLoadMs = median(sessionLoadMs);
    row.rowsMs = median(rowsMs);
    row.copyMs = median(copyMs);
    return row;
}

int reloads(const QList<int>& sizes, int repetitions)
{
    std::printf("reloads of a list replaced by another program; medians of %d reloads\n", repetitions);
    std::printf("%8s %10s %14s %12s %12s %16s %10s %10s\n", "tasks", "bytes", "interface ms", "call ms",
        "answer ms", "session load ms", "rows ms", "copy ms");
    for (int size : sizes) {
        const ReloadRow row = measureReload(size, repetitions);
        std::printf("%8d %10lld %14.3f %12.3f %12.3f %16.3f %10.3f %10.3f%s\n", size, qlonglong(row.bytes),
            row.interfaceMs, row.callMs, row.answerMs, row.sessionLoadMs, row.rowsMs, row.copyMs,
            row.reloaded ? "" : "  (not reloaded)");
        std::fflush(stdout);
    }
    return 0;
}

struct LoadRow {
    double interfaceMs = 0;
    double callMs = 0;
    double readyMs = 0;
    double rowsMs = 0;
    qint64 bytes = 0;
    bool loaded = true;
};

// Opens (or, with reload, reloads from disk) a list another program wrote: what the interface
// thread spends, and when the list is ready.
LoadRow measureLoad(int taskCount, int repetitions, bool reload)
{
    const QByteArray first = longListText(taskCount).toUtf8();
    QByteArray second = first;
    second[0] = 'M';
    LoadRow row;
    row.bytes = first.size();
    OpenedList list(first);
    if (!list.opened) {
        row.loaded = false;
        return row;
    }
    QList<double> interfaceMs, callMs, readyMs, rowsMs;
    for (int load = 0; load <= repetitions; ++load) {
        if (!replaceFile(list.path, load % 2 == 0 ? second : first)) {
            row.loaded = false;
            return row;
        }
        // Opening: a document of its own each time, as a new tab has; the old one is gone first.
        std::optional<VeskDocumentController> opened;
        if (!reload)
            opened.emplace(&list.dialogs, &list.scheduler);
        VeskDocumentController& controller = reload ? list.controller : *opened;
        bool failed = false;
        QElapsedTimer wall;
        const double cpuStart = threadSeconds();
        wall.start();
        if (reload) {
            controller.reloadFromDisk();
        } else {
#if VESK_LOADS_ON_WRITER
            controller.openDocumentInBackground(QUrl::fromLocalFile(list.path), false,
                VeskDocumentController::PlainText::offerImport,
                [&failed](
                    const std::optional<DocumentControllerFailure>& failure) { failed = bool(failure); });
#else
            failed = bool(controller.openDocument(
                QUrl::fromLocalFile(list.path), false, VeskDocumentController::PlainText::offerImport));
#endif
        }
        const double call = double(wall.nsecsElapsed()) / 1e6;
        waitForWrites(controller);
        const double ready = double(wall.nsecsElapsed()) / 1e6;
        const double interface = (threadSeconds() - cpuStart) * 1000;
        const double rowsStart = threadSeconds();
        SessionRows::Seen seen;
        const qsizetype splices = controller.sessionController()->updateRows(seen).size();
        const double rows = (threadSeconds() - rowsStart) * 1000;
        const QList<VeskTask> working = controller.sessionController()->committedDocument().workingItems;
        const QString firstTitle = working.isEmpty() ? QString() : working.constFirst().title;
        row.loaded = row.loaded && !failed && controller.syncState() == SyncState::inSync
            && controller.appStatus().startsWith(
                reload ? QStringLiteral("Reloaded ") : QStringLiteral("Loaded "))
            && firstTitle.startsWith(load % 2 == 0 ? u'M' : u'T') && splices > 0;
        list.scheduler.advance(2);
        waitForWrites(controller);
        if (load == 0)
            continue; // the first round starts the writer
        interfaceMs.append(interface);
        callMs.append(call);
        readyMs.append(ready);
        rowsMs.append(rows);
    }
    row.interfaceMs = median(interfaceMs);
    row.callMs = median(callMs);
    row.readyMs = median(readyMs);
    row.rowsMs = median(rowsMs);
    return row;
}

// A save asked for with nothing unsaved, after another program replaced the list.
int savesFindingChanges(const QList<int>& sizes, int repetitions)
{
    std::printf("a save that finds the list changed with nothing unsaved; medians of %d\n", repetitions);
    std::printf("%8s %10s %14s %12s\n", "tasks", "bytes", "interface ms", "ready ms");
    for (int size : sizes) {
        const QByteArray first = longListText(size).toUtf8();
        QByteArray second = first;
        second[0] = 'M';
        OpenedList list(first);
        bool reloaded = list.opened;
        QList<double> interfaceMs, readyMs;
        for (int save = 0; reloaded && save <= repetitions; ++save) {
            // Another program's version, which the session takes: its first title starts with M or T.
            const bool changed = save % 2 == 0;
            if (!replaceFile(list.path, changed ? second : first))
                reloaded = false;
            QElapsedTimer wall;
            const double cpuStart = threadSeconds();
            wall.start();
            list.controller.saveCommittedChange();
            waitForWrites(list.controller);
            const double ready = double(wall.nsecsElapsed()) / 1e6;
            const double interface = (threadSeconds() - cpuStart) * 1000;
            const QList<VeskTask> working
                = list.controller.sessionController()->committedDocument().workingItems;
            reloaded = reloaded && list.controller.syncState() == SyncState::inSync && !working.isEmpty()
                && working.constFirst().title.startsWith(changed ? u'M' : u'T');
            if (save == 0)
                continue;
            interfaceMs.append(interface);
            readyMs.append(ready);
        }
        std::printf("%8d %10lld %14.3f %12.3f%s\n", size, qlonglong(first.size()), median(interfaceMs),
            median(readyMs), reloaded ? "" : "  (not reloaded)");
        std::fflush(stdout);
    }
    return 0;
}

// Closing a document while its list is opened in the background.
int droppedOpenings(const QList<int>& sizes, int repetitions, bool notUtf8, const QList<int>& delays)
{
#if VESK_LOADS_ON_WRITER
    std::printf("closing a document while its %slist is opened; medians of %d\n", notUtf8 ? "not UTF-8 " : "",
        repetitions);
    std::printf("%8s %10s %10s %12s\n", "tasks", "bytes", "after ms", "close ms");
    for (int size : sizes) {
        const QByteArray bytes = (notUtf8 ? QByteArray("\xFF") : QByteArray()) + longListText(size).toUtf8();
        OpenedList list(bytes);
        for (const int after : delays) {
            QList<double> closeMs;
            for (int round = 0; round < repetitions; ++round) {
                VeskDocumentController controller(&list.dialogs, &list.scheduler);
                controller.openDocumentInBackground(QUrl::fromLocalFile(list.path), false,
                    VeskDocumentController::PlainText::refuse,
                    [](const std::optional<DocumentControllerFailure>&) {});
                QThread::msleep(after);
                QElapsedTimer wall;
                wall.start();
                controller.stopFileAccess();
                closeMs.append(double(wall.nsecsElapsed()) / 1e6);
            }
            std::printf("%8d %10lld %10d %12.3f\n", size, qlonglong(bytes.size()), after, median(closeMs));
            std::fflush(stdout);
        }
    }
#else
    Q_UNUSED(sizes);
    Q_UNUSED(repetitions);
    Q_UNUSED(notUtf8);
    Q_UNUSED(delays);
    std::printf("this build opens lists on the interface thread\n");
#endif
    return 0;
}

int loads(const QList<int>& sizes, int repetitions, bool reload)
{
    std::printf("%s %s; medians of %d\n", reload ? "reloads from disk" : "opening a list in a running Vesk",
        VESK_LOADS_ON_WRITER ? "on the writer thread" : "on the interface thread", repetitions);
    std::printf(
        "%8s %10s %14s %12s %12s %10s\n", "tasks", "bytes", "interface ms", "call ms", "ready ms", "rows ms");
    for (int size : sizes) {
        const LoadRow row = measureLoad(size, repetitions, reload);
        std::printf("%8d %10lld %14.3f %12.3f %12.3f %10.3f%s\n", size, qlonglong(row.bytes), row.interfaceMs,
            row.callMs, row.readyMs, row.rowsMs, row.loaded ? "" : "  (not loaded)");
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    int repetitions = 15;
    QList<int> sizes {1000, 10000, 100000};
    QStringList arguments = QCoreApplication::arguments();
    const bool activation = arguments.removeAll(QStringLiteral("--activation")) > 0;
    const bool reload = arguments.removeAll(QStringLiteral("--reload")) > 0;
    const bool open = arguments.removeAll(QStringLiteral("--open")) > 0;
    const bool reloadFromDisk = arguments.removeAll(QStringLiteral("--reload-from-disk")) > 0;
    const bool saveFindsChange = arguments.removeAll(QStringLiteral("--save-finds-change")) > 0;
    const bool dropOpening = arguments.removeAll(QStringLiteral("--drop-opening")) > 0;
    const bool notUtf8 = arguments.removeAll(QStringLiteral("--not-utf8")) > 0;
    QList<int> delays {0, 200, 400, 600, 800, 1000, 1200, 1400, 1600};
    if (activation || dropOpening)
        sizes = {1600000};
    if (dropOpening)
        repetitions = 3;
    if (reload || open || reloadFromDisk || saveFindsChange) {
        sizes = {100000, 1600000};
        repetitions = 5;
    }
    for (int index = 1; index + 1 < arguments.size(); index += 2) {
        if (arguments[index] == QLatin1String("--repetitions"))
            repetitions = arguments[index + 1].toInt();
        else if (arguments[index] == QLatin1String("--after")) {
            delays.clear();
            for (const QString& delay : arguments[index + 1].split(u','))
                delays.append(delay.toInt());
        } else if (arguments[index] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& size : arguments[index + 1].split(u','))
                sizes.append(size.toInt());
        }
    }
    if (activation)
        return activationChecks(sizes, repetitions);
    if (reload)
        return reloads(sizes, repetitions);
    if (open || reloadFromDisk)
        return loads(sizes, repetitions, reloadFromDisk);
    if (saveFindsChange)
        return savesFindingChanges(sizes, repetitions);
    if (dropOpening)
        return droppedOpenings(sizes, repetitions, notUtf8, delays);
    std::printf("saves %s; medians of %d commits\n",
        VESK_SAVES_ON_WRITER ? "on the writer thread" : "on the interface thread", repetitions);
    std::printf("%8s %10s %14s %12s %12s %12s %12s %8s\n", "tasks", "bytes", "interface ms", "writer ms",
        "callback ms", "durable ms", "floor ms", "dur/flr");
    for (int size : sizes) {
        const Row row = measure(size, repetitions);
        std::printf("%8d %10lld %14.3f %12.3f %12.3f %12.3f %12.3f %8.2f%s\n", size, qlonglong(row.bytes),
            row.interfaceMs, row.writerMs, row.callbackMs, row.durableMs, row.floorMs,
            row.floorMs > 0 ? row.durableMs / row.floorMs : 0.0, row.saved ? "" : "  (a save failed)");
        std::fflush(stdout);
    }
    return 0;
}
