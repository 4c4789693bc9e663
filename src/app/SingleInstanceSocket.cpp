#include "app/SingleInstanceSocket.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// As many connections as may wait to be accepted while the running instance is busy.
constexpr int backlog = 50;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool addressOf(const QString& path, sockaddr_un& address, QString* error)
{
    const QByteArray encoded = QFile::encodeName(path);
    address = {};
    address.sun_family = AF_UNIX;
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("%1: %2").arg(path, systemError(ENAMETOOLONG));
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}

int newSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// Waits until the descriptor can be read or written, as events says; false when the deadline passes.
bool waitFor(int descriptor, short events, QDeadlineTimer deadline)
{
    pollfd watched {descriptor, events, 0};
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        const int ready = ::poll(&watched, 1, remaining < 0 ? -1 : int(std::min<qint64>(remaining, 1 << 30)));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

SingleInstanceSocket::SingleInstanceSocket(SingleInstanceSocket&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{ }

SingleInstanceSocket& SingleInstanceSocket::operator=(SingleInstanceSocket&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
    }
    return *this;
}

SingleInstanceSocket::~SingleInstanceSocket()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

SingleInstanceSocket SingleInstanceSocket::listen(const QString& path, QString* error)
{
    sockaddr_un address;
    if (!addressOf(path, address, error))
        return {};
    SingleInstanceSocket socket(newSocket());
    if (!socket.isValid()
        || ::bind(socket.m_descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(socket.m_descriptor, backlog) != 0) {
        *error = QStringLiteral("Cannot listen at %1: %2").arg(path, systemError(errno));
        return {};
    }
    return socket;
}

SingleInstanceSocket SingleInstanceSocket::connect(
    const QString& path, QDeadlineTimer deadline, QString* error)
{
    sockaddr_un address;
    if (!addressOf(path, address, error))
        return {};
    SingleInstanceSocket socket(newSocket());
    if (!socket.isValid()) {
        *error = systemError(errno);
        return {};
    }
    for (;;) {
        if (::connect(socket.m_descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return socket;
        // A full queue of waiting connections empties as the listener accepts them.
        if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired()) {
            *error = systemError(errno);
            return {};
        }
        QThread::msleep(5);
    }
}

SingleInstanceSocket SingleInstanceSocket::accept() const
{
    return SingleInstanceSocket(::accept4(m_descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

bool SingleInstanceSocket::readAvailable(QByteArray& buffer) const
{
    char bytes[4096];
    for (;;) {
        const ssize_t count = ::read(m_descriptor, bytes, sizeof bytes);
        if (count > 0) {
            buffer.append(bytes, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool SingleInstanceSocket::write(QByteArrayView bytes, QDeadlineTimer deadline, QString* error) const
{
    while (!bytes.isEmpty()) {
        const ssize_t count = ::send(m_descriptor, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (count > 0) {
            bytes = bytes.sliced(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            *error = systemError(errno);
            return false;
        }
        if (!waitFor(m_descriptor, POLLOUT, deadline)) {
            *error = systemError(ETIMEDOUT);
            return false;
        }
    }
    return true;
}

bool SingleInstanceSocket::readByte(char* byte, QDeadlineTimer deadline, QString* error) const
{
    for (;;) {
        const ssize_t count = ::read(m_descriptor, byte, 1);
        if (count == 1)
            return true;
        if (count == 0) {
            *error = QStringLiteral("the connection was closed");
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            *error = systemError(errno);
            return false;
        }
        if (!waitFor(m_descriptor, POLLIN, deadline)) {
            *error = systemError(ETIMEDOUT);
            return false;
        }
    }
}
