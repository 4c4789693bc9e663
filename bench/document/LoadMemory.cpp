// Peak memory of opening a long list the way the application does, through the document
// controller: the file is read and parsed, the session loads the document, what is kept to
// recognise later changes of the file stays beside the session, and the rows a window shows are
// made (the session's rows, held as the list view holds them; not its layout). Then one task is
// added and saved, and the peak of that edit is measured on its own, and so is the peak of
// reloading the list once another program has changed it, and of "Reload from Disk" after another
// change, each with the resident size once two seconds have passed (the application's timers run)
// and the writer has done all it was handed. With LOAD_MEMORY_BACKGROUND=1 the list is opened as a
// running Vesk opens one, on the document's writer thread (builds that cannot open there open it
// directly). Without arguments it writes a list of about 100 MB to a temporary folder and opens it
// in a fresh process, so that making the list does not count.
//
//   document_load_memory [megabytes]
//   document_load_memory --write <file> [megabytes]
//   document_load_memory --open <file>

#include "GeneratedList.h"
#include "document/DocumentFormat.h"
#include "platform/DialogPresenter.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <cstdio>
#include <ctime>
#include <optional>

#if __has_include("sync/ListLoad.h")
#define VESK_LOADS_ON_WRITER 1
#else
#define VESK_LOADS_ON_WRITER 0
#endif

namespace {

// A field of /proc/self/status in MiB: VmRSS now, VmHWM the peak of this program image (unlike
// getrusage's peak, it starts afresh at exec rather than carrying that of the process that started
// this one).
double statusMiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

// Starts a new peak: VmHWM is reset to the resident size now.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Answers nothing: no alert is expected while the list opens and saves.
class NoDialogs : public DialogPresenter {
public:
    int runAlert(const QString& message, const QString&, const QStringList&) override
    {
        std::fprintf(stderr, "alert: %s\n", qPrintable(message));
        return -1;
    }
    QString chooseFileToOpen(const QStringList&, const QString&) override { return {}; }
    QString chooseFileToSave(const QString&, const QStringList&, const QString&, const QString&) override
    {
        return {};
    }
};

// How another program saves: a copy of the file with its first byte changed, renamed over it, made a
// piece at a time so that the copy does not count in the peak.
bool replaceWithFirstByteChanged(const QString& path)
{
    QFile source(path);
    QFile copy(path + QStringLiteral(".part"));
    if (!source.open(QIODevice::ReadOnly) || !copy.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool first = true;
    while (!source.atEnd()) {
        QByteArray piece = source.read(1 << 20);
        if (first && !piece.isEmpty())
            piece[0] = piece[0] == 'M' ? 'N' : 'M';
        first = false;
        if (copy.write(piece) != piece.size())
            return false;
    }
    copy.close();
    return std::rename(QFile::encodeName(copy.fileName()).constData(), QFile::encodeName(path).constData())
        == 0;
}

// The resident size two seconds on, as the application's timers have run by then, with the writer
// done with everything it was handed (freeing, and what follows that).
double residentLater(VeskDocumentController& controller, ManualScheduler& scheduler)
{
    scheduler.advance(2);
    controller.waitForWrites();
    controller.writer()->start([] {}, [] {});
    controller.writer()->wait();
    return statusMiB("VmRSS");
}

int open(const QString& path)
{
    const double before = statusMiB("VmHWM");
    const double fileMiB = double(QFileInfo(path).size()) / (1024 * 1024);
    QElapsedTimer timer;
    timer.start();
    NoDialogs dialogs;
    ManualScheduler scheduler;
    VeskDocumentController controller(&dialogs, &scheduler);
    std::optional<DocumentControllerFailure> failure;
#if VESK_LOADS_ON_WRITER
    if (qEnvironmentVariableIsSet("LOAD_MEMORY_BACKGROUND")) {
        std::printf("opened on the writer thread\n");
        controller.openDocumentInBackground(QUrl::fromLocalFile(path), false,
            VeskDocumentController::PlainText::refuse,
            [&failure](const std::optional<DocumentControllerFailure>& outcome) { failure = outcome; });
        controller.waitForWrites();
    } else
#endif
        failure = controller.openDocument(QUrl::fromLocalFile(path));
    if (failure) {
        std::fprintf(stderr, "%s\n", qPrintable(describeFailure(*failure)));
        return 1;
    }
    // The rows of the list as its window holds them, made once the list is open.
    SessionController& session = *controller.sessionController();
    SessionRows::Seen seen;
    QList<RenderedRow> rows;
    applyRowSplices(rows, session.updateRows(seen));
    const qint64 elapsed = timer.elapsed();
    const double peak = statusMiB("VmHWM");
    std::printf("file %.1f MiB, %lld tasks, opened in %lld ms\n", fileMiB,
        qlonglong(session.itemsByID().size()), qlonglong(elapsed));
    std::printf("resident after opening %.1f MiB\n", statusMiB("VmRSS"));
    std::printf("peak resident %.1f MiB = %.2f x the file (%.1f MiB before opening: %.2f x)\n", peak,
        peak / fileMiB, before, (peak - before) / fileMiB);

    // One edit, saved on the writer's thread the way every committed change is.
    resetPeak();
    timer.restart();
    session.beginCreatingNewItem(QStringLiteral("One more task"));
    session.commitNewItem();
    applyRowSplices(rows, session.updateRows(seen));
    controller.waitForWrites();
    const double editPeak = statusMiB("VmHWM");
    std::printf("edit saved in %lld ms (%s), resident after %.1f MiB, peak %.1f MiB = %.2f x the file\n",
        qlonglong(timer.elapsed()), qPrintable(controller.appStatus()), statusMiB("VmRSS"), editPeak,
        editPeak / fileMiB);

    // Left open for a few seconds: the searched texts are folded ahead in idle time.
    resetPeak();
    timer.restart();
    scheduler.advance(5);
    const double foldPeak = statusMiB("VmHWM");
    std::printf("left open 5 s (%lld ms of jobs): resident %.1f MiB, peak %.1f MiB = %.2f x the file\n",
        qlonglong(timer.elapsed()), statusMiB("VmRSS"), foldPeak, foldPeak / fileMiB);

    // Another program saves the list with its first task changed; the check of the window's
    // activation finds it and, with nothing unsaved, reloads it.
    if (!replaceWithFirstByteChanged(path)) {
        std::fprintf(stderr, "could not replace %s\n", qPrintable(path));
        return 1;
    }
    resetPeak();
    timer.restart();
    timespec cpuStart {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    controller.checkForExternalChanges();
    controller.waitForWrites();
    applyRowSplices(rows, session.updateRows(seen));
    timespec cpuEnd {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    const double reloadPeak = statusMiB("VmHWM");
    const double cpuMs
        = double(cpuEnd.tv_sec - cpuStart.tv_sec) * 1000 + double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6;
    std::printf("changed elsewhere, reloaded in %lld ms (%s; interface thread %.0f ms cpu), resident after "
                "%.1f MiB, peak %.1f MiB = %.2f x the file\n",
        qlonglong(timer.elapsed()), qPrintable(controller.appStatus()), cpuMs, statusMiB("VmRSS"), reloadPeak,
        reloadPeak / fileMiB);
    std::printf("  resident 2 s later %.1f MiB\n", residentLater(controller, scheduler));

    // Changed again, and "Reload from Disk" chosen in the recovery alert.
    if (!replaceWithFirstByteChanged(path)) {
        std::fprintf(stderr, "could not replace %s\n", qPrintable(path));
        return 1;
    }
    resetPeak();
    timer.restart();
    controller.reloadFromDisk();
    controller.waitForWrites();
    applyRowSplices(rows, session.updateRows(seen));
    const double fromDiskPeak = statusMiB("VmHWM");
    std::printf(
        "reloaded from disk in %lld ms (%s), resident after %.1f MiB, peak %.1f MiB = %.2f x the file\n",
        qlonglong(timer.elapsed()), qPrintable(controller.appStatus()), statusMiB("VmRSS"), fromDiskPeak,
        fromDiskPeak / fileMiB);
    std::printf("  resident 2 s later %.1f MiB\n", residentLater(controller, scheduler));
    return 0;
}

// About megabytes of list in the form of the parsing benchmarks' lists.
void write(const QString& path, int megabytes)
{
    const qsizetype sampleBytes = serializeDocument(makeDocument(10000)).toUtf8().size();
    const int taskCount = int(qint64(megabytes) * 1000 * 1000 * 10000 / sampleBytes);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(serializeDocument(makeDocument(taskCount)).toUtf8());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--open"))
        return open(arguments[2]);
    if (arguments.size() >= 3 && arguments[1] == QStringLiteral("--write")) {
        write(arguments[2], arguments.size() > 3 ? arguments[3].toInt() : 100);
        return 0;
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    write(path, arguments.size() > 1 ? arguments[1].toInt() : 100);
    QProcess opener;
    opener.setProcessChannelMode(QProcess::ForwardedChannels);
    opener.start(application.applicationFilePath(), {QStringLiteral("--open"), path});
    opener.waitForFinished(-1);
    return opener.exitCode();
}
