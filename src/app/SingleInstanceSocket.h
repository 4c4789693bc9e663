#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

// One end of the per-user socket of SingleInstance: a local stream socket, made with the system's
// calls so that the single-instance check loads no network library. Owns its descriptor, which is
// non-blocking and closed on exec.
class SingleInstanceSocket {
public:
    SingleInstanceSocket() = default;
    explicit SingleInstanceSocket(int descriptor) : m_descriptor(descriptor) { }
    SingleInstanceSocket(SingleInstanceSocket&& other) noexcept;
    SingleInstanceSocket& operator=(SingleInstanceSocket&& other) noexcept;
    ~SingleInstanceSocket();

    // A socket listening at path; invalid, with error set, when it cannot be made.
    static SingleInstanceSocket listen(const QString& path, QString* error);
    // A connection to the socket listening at path, tried until it is taken or the deadline passes.
    // Invalid, with error set, otherwise.
    static SingleInstanceSocket connect(const QString& path, QDeadlineTimer deadline, QString* error);

    bool isValid() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }

    // The next connection waiting on a listening socket, or an invalid socket when none waits.
    SingleInstanceSocket accept() const;
    // Appends what has arrived to buffer without waiting. False once the other end has closed or
    // the connection failed.
    bool readAvailable(QByteArray& buffer) const;
    // Writes all of bytes, waiting as long as the deadline allows.
    bool write(QByteArrayView bytes, QDeadlineTimer deadline, QString* error) const;
    // Waits for one byte; false when the connection ends first or the deadline passes.
    bool readByte(char* byte, QDeadlineTimer deadline, QString* error) const;

private:
    int m_descriptor = -1;
};
