#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTest>

#include <unistd.h>

// Root ignores permission bits, so tests of unreadable or unwritable files and folders run as the
// unprivileged user "nobody" when the suite runs as root: the current test function runs again in
// a child process of this test program, started through setpriv, and the parent checks its result.
//
// Usage, first thing in a test function:  if (runAsUnprivilegedChild()) return;
// Returns true in the root parent once the child has run (its outcome is verified there, or the
// test is skipped when this machine cannot switch users), and false when the caller is
// unprivileged and must run the scenario itself.
inline bool runAsUnprivilegedChild()
{
    if (::geteuid() != 0) {
        // The parent looks for this line to know that the scenario really ran unprivileged.
        qInfo("::%s() as nobody", QTest::currentTestFunction());
        return false;
    }
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty()) {
        QTest::qSkip("running as root without setpriv: cannot test permissions as an unprivileged user",
            __FILE__, __LINE__);
        return true;
    }
    const QStringList asNobody {
        QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups")};
    if (QProcess::execute(setpriv, asNobody + QStringList {QStringLiteral("true")}) != 0) {
        QTest::qSkip("this machine does not let root switch to the user nobody (65534)", __FILE__, __LINE__);
        return true;
    }
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The test's own folders belong to root; the child works in its temporary folders only.
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv,
        asNobody
            + QStringList {
                QCoreApplication::applicationFilePath(), QString::fromLatin1(QTest::currentTestFunction())});
    child.waitForFinished(120000);
    const QByteArray output = child.readAll();
    [&] {
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        const QByteArray passed = "::" + QByteArray(QTest::currentTestFunction()) + "() as nobody";
        QVERIFY2(output.contains(passed) && !output.contains("SKIP   :"), output.constData());
    }();
    return true;
}
