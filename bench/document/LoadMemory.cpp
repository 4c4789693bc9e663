// Peak memory of opening a long list the way the application does: the document service reads the
// file and parses it, the session loads the document, and the file's text and document stay beside
// the session to recognise later changes. Without arguments it writes a list of about 100 MB to a
// temporary folder and opens it in a fresh process, so that making the list does not count.
//
//   document_load_memory [megabytes]
//   document_load_memory --open <file>

#include "GeneratedList.h"
#include "document/DocumentFormat.h"
#include "document/DocumentService.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

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

int open(const QString& path)
{
    const double before = statusMiB("VmHWM");
    QElapsedTimer timer;
    timer.start();
    const DocumentService service;
    service.removeStaleTemporaryFiles(path);
    DocumentContents contents;
    if (auto error = service.readText(path, contents.text)) {
        std::fprintf(stderr, "%s\n", qPrintable(error->description()));
        return 1;
    }
    if (!isVeskDocument(contents.text)) {
        std::fprintf(stderr, "not a task file\n");
        return 1;
    }
    const double afterReading = statusMiB("VmRSS");
    contents.document = parseDocument(contents.text);
    const double afterParsing = statusMiB("VmRSS");
    ManualScheduler scheduler;
    SessionController session(&scheduler);
    session.loadDocument(contents.document);
    const qint64 elapsed = timer.elapsed();
    const double fileMiB = double(QFileInfo(path).size()) / (1024 * 1024);
    const double peak = statusMiB("VmHWM");
    std::printf("file %.1f MiB, %lld tasks, opened in %lld ms\n", fileMiB,
        qlonglong(session.itemsByID().size()), qlonglong(elapsed));
    std::printf("resident after reading %.1f MiB, after parsing %.1f, after loading %.1f\n", afterReading,
        afterParsing, statusMiB("VmRSS"));
    std::printf("peak resident %.1f MiB = %.2f x the file (%.1f MiB before opening: %.2f x)\n", peak,
        peak / fileMiB, before, (peak - before) / fileMiB);
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
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("list.vesk"));
    write(path, arguments.size() > 1 ? arguments[1].toInt() : 100);
    QProcess opener;
    opener.setProcessChannelMode(QProcess::ForwardedChannels);
    opener.start(application.applicationFilePath(), {QStringLiteral("--open"), path});
    opener.waitForFinished(-1);
    return opener.exitCode();
}
