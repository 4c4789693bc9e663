#include "FileBytes.h"
#include "SmallTmpfs.h"
#include "UnprivilegedChild.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray list
    = "Write report\n> Outline first\nPay rent\n---\nBuy stamps\nCall Ana\n---\nBook flights\n";

struct Run {
    int status = -1;
    QByteArray output;
    QByteArray error;
};

// The vesk program as a terminal runs it, with no display to reach.
Run vesk(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VESK_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace

class CommandLineToolTest : public QObject {
    Q_OBJECT

private slots:
    // Each command on a file; FILE stands for its path. An empty "after" means the file keeps its
    // bytes; a null "before" means there is no file.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QByteArray>("error");
        const QByteArray same;
        const QByteArray none;

        QTest::newRow("add: top of Pending")
            << list << QStringList {"add", "FILE", "Water", "plants"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\n---\nWater plants\n"
                          "Buy stamps\nCall Ana\n---\nBook flights")
            << QByteArray("Added “Water plants” to Pending\n") << none;
        QTest::newRow("add --next --note: end of Next")
            << list << QStringList {"add", "--next", "FILE", "--note", "a\nb", "--", "-5 degrees"} << none
            << 0
            << QByteArray("Write report\n> Outline first\nPay rent\n-5 degrees\n> a\n> b\n---\nBuy stamps\n"
                          "Call Ana\n---\nBook flights")
            << QByteArray("Added “-5 degrees” to Next\n") << none;
        QTest::newRow("add -: lines of standard input, in order")
            << list << QStringList {"add", "FILE", "-"} << QByteArray("one\n\n  two \n") << 0
            << QByteArray(
                   "Write report\n> Outline first\nPay rent\n---\none\ntwo\nBuy stamps\nCall Ana\n---\n"
                   "Book flights")
            << QByteArray("Added 2 tasks to Pending\n") << none;
        QTest::newRow("done p2: top of Complete")
            << list << QStringList {"done", "FILE", "p2"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\n---\nBuy stamps\n"
                          "---\nCall Ana\nBook flights")
            << QByteArray("Completed “Call Ana”\n") << none;
        QTest::newRow("done by exact title, with its note")
            << list << QStringList {"done", "FILE", "Write", "report"} << none << 0
            << QByteArray(
                   "Pay rent\n---\nBuy stamps\nCall Ana\n---\nWrite report\n> Outline first\nBook flights")
            << QByteArray("Completed “Write report”\n") << none;
        QTest::newRow("done 3: a bare number counts Next, then Pending")
            << list << QStringList {"done", "FILE", "3"} << none << 0
            << QByteArray(
                   "Write report\n> Outline first\nPay rent\n---\nCall Ana\n---\nBuy stamps\nBook flights")
            << none << none;
        QTest::newRow("undone c1: top of Pending")
            << list << QStringList {"undone", "FILE", "c1"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\n---\n"
                          "Book flights\nBuy stamps\nCall Ana\n---\n")
            << QByteArray("Returned “Book flights” to Pending\n") << none;
        QTest::newRow("next p1: end of Next")
            << list << QStringList {"next", "FILE", "p1"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\nBuy stamps\n---\n"
                          "Call Ana\n---\nBook flights")
            << none << none;
        QTest::newRow("next c1: end of Next")
            << list << QStringList {"next", "FILE", "c1"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\nBook flights\n---\n"
                          "Buy stamps\nCall Ana\n---\n")
            << none << none;
        QTest::newRow("pending n1: top of Pending")
            << list << QStringList {"pending", "FILE", "n1"} << none << 0
            << QByteArray("Pay rent\n---\nWrite report\n> Outline first\n"
                          "Buy stamps\nCall Ana\n---\nBook flights")
            << none << none;
        QTest::newRow("pending c1: top of Pending")
            << list << QStringList {"pending", "FILE", "c1"} << none << 0
            << QByteArray("Write report\n> Outline first\nPay rent\n---\n"
                          "Book flights\nBuy stamps\nCall Ana\n---\n")
            << none << none;
        QTest::newRow("remove n2")
            << list << QStringList {"remove", "FILE", "n2"} << none << 0
            << QByteArray("Write report\n> Outline first\n---\nBuy stamps\nCall Ana\n---\nBook flights")
            << QByteArray("Removed “Pay rent”\n") << none;
        QTest::newRow("done on a completed task changes nothing")
            << list << QStringList {"done", "FILE", "c1"} << none << 0 << same
            << QByteArray("“Book flights” is already complete\n") << none;
        QTest::newRow("import: lines become Pending tasks")
            << QByteArray("milk\n\n eggs\n") << QStringList {"import", "FILE"} << none << 0
            << QByteArray("\n---\nmilk\neggs\n---\n") << QByteArray("Imported 2 tasks into list.vesk\n")
            << none;
        QTest::newRow("import of a task file changes nothing")
            << list << QStringList {"import", "FILE"} << none << 0 << same << none << none;

        QTest::newRow("an ambiguous title names the candidates")
            << QByteArray("Same\n---\nSame\n---\nSame\n") << QStringList {"done", "FILE", "Same"} << none << 1
            << same << none
            << QByteArray(
                   "vesk: 3 tasks are titled “Same” (n1 “Same”, p1 “Same”, c1 “Same”); name one by its "
                   "number\n");
        QTest::newRow("a missing title names similar ones")
            << list << QStringList {"remove", "FILE", "pay"} << none << 1 << same << none
            << QByteArray("vesk: no task is titled “pay”; did you mean n2 "
                          "“Pay rent”?\n");
        QTest::newRow("a number beyond the section")
            << list << QStringList {"done", "FILE", "p3"} << none << 1 << same << none
            << QByteArray("vesk: there is no task p3: Pending holds 2 tasks\n");
        QTest::newRow("not a task file")
            << QByteArray("milk\n---\n") << QStringList {"add", "FILE", "x"} << none << 1 << same << none
            << QByteArray("vesk: “list.vesk” is not a Vesk task file (it has no two lines "
                          "\"---\"); 'vesk import PATH' turns it into one\n");
        QTest::newRow("missing file")
            << QByteArray() << QStringList {"list", "FILE"} << none << 1 << none << none
            << QByteArray("vesk: The file “list.vesk” couldn’t be opened because there is no "
                          "such file.\n");
        QTest::newRow("new refuses to overwrite")
            << list << QStringList {"new", "FILE"} << none << 1 << same << none
            << QByteArray("vesk: “list.vesk” already exists; 'vesk new' never "
                          "overwrites a file\n");

        QTest::newRow("usage: no title")
            << list << QStringList {"add", "FILE"} << none << 2 << same << none
            << QByteArray("vesk: 'add' needs a TITLE after the FILE\nTry 'vesk help add'.\n");
        QTest::newRow("usage: an unknown option")
            << list << QStringList {"done", "FILE", "--next", "1"} << none << 2 << same << none
            << QByteArray("vesk: 'done' takes no option --next\nTry 'vesk help done'.\n");
        QTest::newRow("usage: a wrong section")
            << list << QStringList {"list", "FILE", "--section=later"} << none << 2 << same << none
            << QByteArray("vesk: --section is next, pending or complete, not 'later'\n"
                          "Try 'vesk help list'.\n");
        QTest::newRow("usage: - with other words")
            << list << QStringList {"add", "FILE", "-", "x"} << none << 2 << same << none << none;
        QTest::newRow("help for one command") << QByteArray() << QStringList {"help", "next"} << none << 0
                                              << none << QByteArray("Usage: vesk next FILE TASK\n") << none;
        QTest::newRow("--help of a command") << QByteArray() << QStringList {"remove", "--help"} << none << 0
                                             << none << QByteArray("Usage: vesk remove FILE TASK\n") << none;
        QTest::newRow("help of no such command")
            << QByteArray() << QStringList {"help", "frobnicate"} << none << 2 << none << none
            << QByteArray("vesk: no command 'frobnicate'\nTry 'vesk help'.\n");
    }

    void commands()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, error);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        if (!before.isNull())
            writeBytes(path, before);
        arguments.replaceInStrings(QStringLiteral("FILE"), path);

        const Run run = vesk(arguments, input);
        QCOMPARE(run.status, status);
        // Messages are checked whole where given, and only from their start otherwise.
        if (!output.isEmpty())
            QVERIFY2(run.output.startsWith(output), run.output.constData());
        if (!error.isEmpty())
            QCOMPARE(run.error, QByteArray(error).replace("PATH", QFile::encodeName(path)));
        else if (status == 0)
            QCOMPARE(run.error, QByteArray());
        if (!before.isNull())
            QCOMPARE(readBytes(path), after.isEmpty() ? before : after);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).size(), before.isNull() ? 0 : 1);
    }

    void listPrintsTheSections_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("all") << QStringList()
                             << QByteArray(
                                    "Next\n  1. Write report\n     Outline first\n  2. Pay rent\nPending\n"
                                    "  1. Buy stamps\n  2. Call Ana\nComplete\n  1. Book flights\n");
        QTest::newRow("one section") << QStringList {"--section", "pending"}
                                     << QByteArray("  1. Buy stamps\n  2. Call Ana\n");
        QTest::newRow("json")
            << QStringList {"--json", "--section=next"}
            << QByteArray(
                   "[\n    {\n        \"completed\": false,\n        \"note\": \"Outline first\",\n"
                   "        \"number\": 1,\n        \"section\": \"next\",\n        \"title\": \"Write "
                   "report\"\n    },\n    {\n        \"completed\": false,\n        \"note\": null,\n"
                   "        \"number\": 2,\n        \"section\": \"next\",\n        \"title\": \"Pay rent\"\n"
                   "    }\n]\n");
    }

    void listPrintsTheSections()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, output);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, list);
        const Run run = vesk(QStringList {QStringLiteral("list"), path} + options);
        QCOMPARE(run.error, QByteArray());
        QCOMPARE(run.output, output);
        QCOMPARE(run.status, 0);
    }

    // A new file is the template; a change through a symbolic link replaces the file it names, which
    // keeps its mode.
    void newFilesAndWritesThroughLinks()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("real.vesk"));
        const QString link = folder.filePath(QStringLiteral("link.vesk"));
        const Run created = vesk({QStringLiteral("new"), path});
        QCOMPARE(created.status, 0);
        QCOMPARE(readBytes(path), readBytes(qEnvironmentVariable("VESK_SOURCE_DIR") + "/resources/new.vesk"));
        QVERIFY(QFile::link(path, link));
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        QCOMPARE(vesk({QStringLiteral("done"), link, QStringLiteral("n1")}).status, 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(readBytes(path).startsWith("Press Space to complete the selected task\n"));
        struct stat info { };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
    }

    // A file the user may not read is not listed; one they may not write is not changed, although
    // its folder would let a new file replace it.
    void permissionsAreRespected()
    {
        if (runAsUnprivilegedChild())
            return;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.vesk"));
        writeBytes(path, list);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        Run run = vesk({QStringLiteral("done"), path, QStringLiteral("1")});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.error,
            QByteArray("vesk: You don’t have permission to save the file “list.vesk” in the folder “")
                + QFile::encodeName(QFileInfo(folder.path()).fileName()) + "”.\n");
        QCOMPARE(readBytes(path), list);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0200), 0);
        run = vesk({QStringLiteral("list"), path});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.error,
            QByteArray(
                "vesk: The file “list.vesk” couldn’t be opened because you don’t have permission to view "
                "it.\n"));
    }

    // A change that does not fit on the disk fails and leaves the file as it was; a new file that
    // does not fit is not left behind empty.
    void aFullDiskChangesNothing()
    {
        SmallTmpfs disk(4);
        SKIP_UNLESS_MOUNTED(disk);
        const QString path = disk.filePath(QStringLiteral("list.vesk"));
        QByteArray old = "---\n";
        while (old.size() < 3900)
            old += "A task to fill the disk\n";
        old += "---\n";
        writeBytes(path, old);
        const QByteArray noSpace = "couldn’t be saved because there isn’t enough space.\n";
        Run run = vesk({QStringLiteral("add"), path, QString(400, u'x')});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.error, "vesk: The file “list.vesk” " + noSpace);
        QCOMPARE(readBytes(path), old);
        run = vesk({QStringLiteral("new"), disk.filePath(QStringLiteral("new.vesk"))});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.error, "vesk: The file “new.vesk” " + noSpace);
        QCOMPARE(
            QDir(disk.filePath(QString())).entryList(QDir::Files | QDir::Hidden), QStringList {"list.vesk"});
    }
};

QTEST_GUILESS_MAIN(CommandLineToolTest)
#include "CommandLineToolTest.moc"
