#include "app/SingleInstance.h"

#include "app/ShellLog.h"
#include "platform/Scheduler.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr char accepted = 1;

// A folder that only this user can enter and change.
bool isPrivateFolder(const QByteArray& path, bool tighten, QString* error)
{
    struct stat info { };
    if (lstat(path.constData(), &info) != 0) {
        *error = QStringLiteral("%1: %2").arg(
            QString::fromLocal8Bit(path), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        *error = QStringLiteral("%1 is not a folder of this user").arg(QString::fromLocal8Bit(path));
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        if (!tighten || chmod(path.constData(), 0700) != 0) {
            *error = QStringLiteral("%1 may be changed by other users").arg(QString::fromLocal8Bit(path));
            return false;
        }
    }
    return true;
}
} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), m_scheduler(Scheduler::system()) { }

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
}

QString SingleInstance::runtimeDirectory(QString* error)
{
    QString ignored;
    QString& message = error ? *error : ignored;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime, false, &message))
        return QDir::cleanPath(QString::fromLocal8Bit(runtime));

    const QString fallback = QDir::cleanPath(QDir::tempPath() + QStringLiteral("/vesk-%1").arg(geteuid()));
    const QByteArray path = QFile::encodeName(fallback);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        message = QStringLiteral("%1: %2").arg(fallback, QString::fromLocal8Bit(strerror(errno)));
        return {};
    }
    // A folder that was already there must be ours; one we made may have been narrowed by umask.
    if (!isPrivateFolder(path, true, &message))
        return {};
    message.clear();
    return fallback;
}

SingleInstance::Role SingleInstance::start(int waitMilliseconds)
{
    if (m_role != Role::undecided)
        return m_role;
    m_directory = runtimeDirectory(&m_errorString);
    if (m_directory.isEmpty())
        return m_role = Role::unavailable;

    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock is stale only when its process is gone: the running instance may hold it for days.
    m_lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(waitMilliseconds);
    for (;;) {
        if (m_lock->tryLock(0))
            return m_role = becomePrimary() ? Role::primary : Role::unavailable;
        if (m_lock->error() != QLockFile::LockFailedError) {
            m_errorString = QStringLiteral("Cannot lock %1").arg(lockPath());
            return m_role = Role::unavailable;
        }
        // A live process holds the lock: the running instance, or one that is starting up.
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        if (probe.waitForConnected(int(std::max<qint64>(0, deadline.remainingTime())))) {
            probe.abort();
            m_lock.reset();
            return m_role = Role::secondary;
        }
        if (deadline.hasExpired()) {
            m_lock.reset();
            m_errorString = QStringLiteral("Vesk is running but does not answer at %1").arg(socketPath());
            return m_role = Role::unavailable;
        }
        QThread::msleep(20);
    }
}

bool SingleInstance::becomePrimary()
{
    // Whatever socket is left belongs to an instance that is gone: the lock says no other runs.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    // No socket options: the folder is private (runtimeDirectory), so other users cannot reach the
    // socket, and Qt binds it in place instead of in a temporary folder that it renames and removes.
    if (!m_server->listen(socketPath())) {
        m_errorString = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        m_lock->unlock();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        m_buffers.insert(socket, {});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
        m_scheduler->schedule(incompleteRequestTimeout, socket, [this, socket] {
            if (m_buffers.contains(socket))
                qCWarning(lcShell, "dropped a request from another launch that did not arrive whole in time");
            socket->abort();
        });
        // Bytes may have arrived with the connection.
        if (socket->bytesAvailable() > 0)
            readRequest(socket);
    }
}

void SingleInstance::readRequest(QLocalSocket* socket)
{
    auto buffer = m_buffers.find(socket);
    if (buffer == m_buffers.end())
        return;
    buffer->append(socket->readAll());
    InstanceMessage message;
    qsizetype size = 0;
    const InstanceMessage::Status status = InstanceMessage::decode(*buffer, &message, &size);
    if (status == InstanceMessage::Status::incomplete)
        return;
    // One request per connection: what follows it is not read.
    m_buffers.erase(buffer);
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (status == InstanceMessage::Status::malformed) {
        qCWarning(lcShell, "dropped a malformed request from another launch");
        socket->abort();
        return;
    }
    // Confirmed before it is handled: handling may open a dialog and run for a long time.
    socket->write(&accepted, 1);
    socket->disconnectFromServer();
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (message.kind == InstanceMessage::Kind::toggle)
                Q_EMIT toggleRequested();
            else
                Q_EMIT openRequested(message.paths);
        },
        Qt::QueuedConnection);
}

bool SingleInstance::sendOpenRequest(const QStringList& paths, int timeoutMilliseconds)
{
    InstanceMessage message {InstanceMessage::Kind::open, {}};
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        const QUrl url(path);
        const QString local = url.isLocalFile() ? url.toLocalFile() : path;
        message.paths << QDir::cleanPath(QFileInfo(local).absoluteFilePath());
    }
    return send(socketPath(), message, timeoutMilliseconds, &m_errorString);
}

bool SingleInstance::sendToggle(int timeoutMilliseconds)
{
    return send(socketPath(), {InstanceMessage::Kind::toggle, {}}, timeoutMilliseconds, &m_errorString);
}

bool SingleInstance::send(
    const QString& socketPath, const InstanceMessage& message, int timeoutMilliseconds, QString* error)
{
    QString ignored;
    QString& failure = error ? *error : ignored;
    const QByteArray bytes = message.encode();
    if (bytes.isEmpty()) {
        failure = QStringLiteral("Too many files, or a path too long, to hand to the running Vesk");
        return false;
    }
    const QDeadlineTimer deadline(timeoutMilliseconds);
    const auto remaining = [&] { return int(std::max<qint64>(0, deadline.remainingTime())); };
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(remaining())) {
        failure = QStringLiteral("Cannot reach the running Vesk: %1").arg(socket.errorString());
        return false;
    }
    socket.write(bytes);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining())) {
            failure
                = QStringLiteral("The running Vesk did not take the request: %1").arg(socket.errorString());
            return false;
        }
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining())) {
            failure = QStringLiteral("The running Vesk did not confirm the request");
            return false;
        }
    }
    char answer = 0;
    socket.getChar(&answer);
    if (answer != accepted) {
        failure = QStringLiteral("The running Vesk refused the request");
        return false;
    }
    failure.clear();
    return true;
}
