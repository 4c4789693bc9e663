#include "platform/AutostartEntry.h"
#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// The entry as desktops read it: valid for desktop-file-validate, and started by a real launcher
// (GLib's, as GNOME and others use) with the program and the argument it names.
class AutostartEntryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void theEntryValidatesAndStartsTheProgramInTheBackground_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("onPath");
        QTest::addColumn<QString>("exec");
        QTest::newRow("found by name") << "bin" << true << "vesk --background";
        // Spaces, quotes, a dollar sign and a backslash all need quoting or escaping.
        QTest::newRow("elsewhere") << "my \"apps\" $HOME \\ 'x'" << false
                                   << '"' + m_dir.path()
                + "/my \\\\\"apps\\\\\" \\\\$HOME \\\\\\\\ 'x'/vesk\" --background";
    }

    void theEntryValidatesAndStartsTheProgramInTheBackground()
    {
        QFETCH(QString, folder);
        QFETCH(bool, onPath);
        QFETCH(QString, exec);
        const QString program = m_dir.filePath(folder + QStringLiteral("/vesk"));
        const QString fifo = m_dir.filePath(QStringLiteral("arguments"));
        QVERIFY(QDir().mkpath(QFileInfo(program).path()));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$VESK_ARGUMENTS\"\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        QFile::remove(fifo);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        qputenv("VESK_ARGUMENTS", QFile::encodeName(fifo));
        qputenv("PATH", QFile::encodeName(onPath ? m_dir.filePath(folder) : QStringLiteral("/usr/bin:/bin")));

        AutostartEntry entry(m_dir.filePath(QStringLiteral("autostart/vesk.desktop")), program);
        QVERIFY(!entry.isEnabled());
        QVERIFY(entry.setEnabled(true));
        QVERIFY(entry.isEnabled());
        QVERIFY2(entry.text().contains(QStringLiteral("\nExec=") + exec + QLatin1Char('\n')),
            qPrintable(entry.text()));

        QProcess validate;
        validate.start(QStringLiteral("/usr/bin/desktop-file-validate"), {entry.filePath()});
        QVERIFY(validate.waitForFinished());
        QVERIFY2(validate.exitCode() == 0 && validate.readAll().isEmpty(), qPrintable(entry.text()));

        QProcess launch;
        launch.start(QStringLiteral("/usr/bin/gio"), {QStringLiteral("launch"), entry.filePath()});
        QVERIFY(launch.waitForFinished());
        QVERIFY2(launch.exitCode() == 0, launch.readAllStandardError().constData());
        // Opening the pipe waits for the started program to write its arguments.
        QFile arguments(fifo);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(arguments.readAll(), QByteArray("--background\n"));

        QVERIFY(entry.setEnabled(false));
        QVERIFY(!QFile::exists(entry.filePath()) && !entry.isEnabled());
        QVERIFY(entry.setEnabled(false));
    }

    // The entry names the vesk command, found from the application that writes it; the command
    // finds the application the same way, in a build folder and in an installation.
    void theCommandAndTheApplicationFindEachOther_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("application");
        QTest::newRow("build folder") << "build/vesk"
                                      << "build/vesk-app";
        QTest::newRow("installed") << "usr/" VESK_INSTALL_BINDIR "/vesk"
                                   << "usr/" VESK_INSTALL_LIBEXECDIR "/vesk/vesk-app";
    }

    void theCommandAndTheApplicationFindEachOther()
    {
        QFETCH(QString, command);
        QFETCH(QString, application);
        const QTemporaryDir root;
        for (const QString& program : {command, application}) {
            QVERIFY(QDir(root.path()).mkpath(QFileInfo(program).path()));
            QFile file(root.filePath(program));
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
        }
        QCOMPARE(ProgramLocation::application(root.filePath(command)), root.filePath(application));
        QCOMPARE(ProgramLocation::command(root.filePath(application)), root.filePath(command));
    }
};

QTEST_GUILESS_MAIN(AutostartEntryTest)
#include "AutostartEntryTest.moc"
