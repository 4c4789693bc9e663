#include "cli/ToolCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The vesk command becomes the application for a window and the terminal tool for everything
// else, found where a build folder and an installation put them, in the same process with the
// same arguments. The private programs are stand-ins that say which one ran.
class LaunchTest : public QObject {
    Q_OBJECT

private slots:
    void becomesTheProgramForItsArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("program");
        const QString app = QStringLiteral("vesk-app");
        const QString cli = QStringLiteral("vesk-cli");
        QTest::newRow("nothing") << QStringList() << app;
        QTest::newRow("files") << QStringList {"a.vesk", "notes"} << app;
        QTest::newRow("a file named like a command, second") << QStringList {"a.vesk", "list"} << app;
        QTest::newRow("--toggle") << QStringList {"--toggle"} << app;
        QTest::newRow("--background with a file") << QStringList {"--background", "a.vesk"} << app;
        QTest::newRow("--help") << QStringList {"--help"} << cli;
        QTest::newRow("-v") << QStringList {"-v"} << cli;
        QTest::newRow("--version after a file") << QStringList {"a.vesk", "--version"} << cli;
        QTest::newRow("an unknown option") << QStringList {"--fast"} << cli;
        QTest::newRow("--toggle with a file") << QStringList {"--toggle", "a.vesk"} << cli;
        QTest::newRow("-- before a file") << QStringList {"--", "-a.vesk"} << cli;
        QTest::newRow("-") << QStringList {"-"} << cli;
        for (const ToolCommand& command : ToolCommand::all())
            QTest::newRow(qPrintable(command.name)) << QStringList {command.name, "a.vesk"} << cli;
    }

    void becomesTheProgramForItsArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, program);
        const QString installedPrivate = QStringLiteral("usr/" VESK_INSTALL_LIBEXECDIR "/vesk/");
        const QList<QStringList> layouts {
            {"vesk", "vesk-app", "vesk-cli"},
            {"usr/" VESK_INSTALL_BINDIR "/vesk", installedPrivate + "vesk-app",
                installedPrivate + "vesk-cli"},
        };
        for (const QStringList& layout : layouts) {
            const QTemporaryDir root;
            for (const QString& file : layout) {
                QVERIFY(QDir(root.path()).mkpath(QFileInfo(file).path()));
                QVERIFY(QFile::copy(
                    file == layout.first() ? QStringLiteral(VESK_PROGRAM) : QStringLiteral(PROGRAM_STUB),
                    root.filePath(file)));
            }
            const QString command = root.filePath(layout.first());
            QProcess process;
            process.start(command, arguments);
            QVERIFY2(process.waitForStarted(30000), qPrintable(layout.first()));
            const qint64 id = process.processId();
            QVERIFY2(process.waitForFinished(30000), qPrintable(layout.first()));
            QCOMPARE(process.exitCode(), 0);
            const QString expected = QStringLiteral("%1 %2\n%3\n")
                                         .arg(program)
                                         .arg(id)
                                         .arg((QStringList {command} + arguments).join(u'\n'));
            QCOMPARE(QString::fromLocal8Bit(process.readAllStandardOutput()), expected);
        }
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "LaunchTest.moc"
