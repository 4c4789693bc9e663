#include "app/SingleInstance.h"

#include "app/ShellLog.h"
#include "platform/Scheduler.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSocketNotifier>
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

class SingleInstance::Connection : public QObject {
public:
    Connection(SingleInstanceSocket socket, QObject* parent)
        : QObject(parent),
          socket(std::move(socket)),
          notifier(this->socket.descriptor(), QSocketNotifier::Read)
    { }

    SingleInstanceSocket socket;
    // Declared after the socket, so that it is gone before the socket closes.
    QSocketNotifier notifier;
    QByteArray buffer;
};

SingleInstance::SingleInstance(QObject* parent) : QObject(parent), m_scheduler(Scheduler::system()) { }

SingleInstance::~SingleInstance()
{
    if (!m_listener.isValid())
        return;
    delete m_listenerNotifier;
    m_listener = {};
    // The socket goes with the instance, so that the next launch finds no one to hand its request to.
    ::unlink(QFile::encodeName(socketPath()).constData());
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
        QString ignored;
        if (SingleInstanceSocket::connect(socketPath(), deadline, &ignored).isValid()) {
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
    const QByteArray path = QFile::encodeName(socketPath());
    ::unlink(path.constData());
    // The folder is private (runtimeDirectory), so other users cannot reach the socket, which is
    // bound in place.
    m_listener = SingleInstanceSocket::listen(socketPath(), &m_errorString);
    if (!m_listener.isValid()) {
        m_lock->unlock();
        return false;
    }
    m_listenerNotifier = new QSocketNotifier(m_listener.descriptor(), QSocketNotifier::Read, this);
    connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections()
{
    for (SingleInstanceSocket socket = m_listener.accept(); socket.isValid(); socket = m_listener.accept()) {
        auto* connection = new Connection(std::move(socket), this);
        connect(&connection->notifier, &QSocketNotifier::activated, this,
            [this, connection] { readRequest(connection); });
        m_scheduler->schedule(incompleteRequestTimeout, connection, [connection] {
            if (connection->notifier.isEnabled())
                qCWarning(lcShell, "dropped a request from another launch that did not arrive whole in time");
            delete connection;
        });
        // Bytes may have arrived with the connection.
        readRequest(connection);
    }
}

void SingleInstance::readRequest(Connection* connection)
{
    const bool open = connection->socket.readAvailable(connection->buffer);
    InstanceMessage message;
    qsizetype size = 0;
    const InstanceMessage::Status status = InstanceMessage::decode(connection->buffer, &message, &size);
    // Gone before its request was whole: nothing to answer.
    if (status == InstanceMessage::Status::incomplete && open)
        return;
    // One request per connection: what follows it is not read.
    connection->notifier.setEnabled(false);
    connection->deleteLater();
    if (status == InstanceMessage::Status::incomplete)
        return;
    if (status == InstanceMessage::Status::malformed) {
        qCWarning(lcShell, "dropped a malformed request from another launch");
        return;
    }
    // Confirmed before it is handled: handling may open a dialog and run for a long time.
    QString ignored;
    connection->socket.write(QByteArrayView(&accepted, 1), QDeadlineTimer(0), &ignored);
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
    QString reason;
    const SingleInstanceSocket socket = SingleInstanceSocket::connect(socketPath, deadline, &reason);
    if (!socket.isValid()) {
        failure = QStringLiteral("Cannot reach the running Vesk: %1").arg(reason);
        return false;
    }
    if (!socket.write(bytes, deadline, &reason)) {
        failure = QStringLiteral("The running Vesk did not take the request: %1").arg(reason);
        return false;
    }
    char answer = 0;
    if (!socket.readByte(&answer, deadline, &reason)) {
        failure = QStringLiteral("The running Vesk did not confirm the request");
        return false;
    }
    if (answer != accepted) {
        failure = QStringLiteral("The running Vesk refused the request");
        return false;
    }
    failure.clear();
    return true;
}
