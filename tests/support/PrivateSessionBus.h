#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

// A D-Bus session bus of the test's own, so that no test reaches the desktop's real services.
class PrivateSessionBus {
public:
    ~PrivateSessionBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // Empty where dbus-daemon is not installed.
    static QString daemonProgram() { return QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")); }

    // Starts the bus and returns its address, or an empty address when it did not start.
    QString start(const QString& daemon)
    {
        m_daemon.start(daemon,
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(10000))
            return {};
        return QString::fromUtf8(m_daemon.readLine()).trimmed();
    }

private:
    QProcess m_daemon;
};
