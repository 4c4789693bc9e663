#pragma once

#include <QByteArrayView>

// Writing whole buffers to open files; each returns 0 or an errno value. Short writes and
// interrupted calls are continued.

// From the file's current position (or its end, for a file opened to append).
int writeAll(int fd, QByteArrayView bytes);
// At offset, leaving the file position alone.
int writeAllAt(int fd, QByteArrayView bytes, qint64 offset);
// Linux releases the descriptor even when close reports an error, so it is never retried.
int closeFile(int fd);
