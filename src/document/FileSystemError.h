#pragma once

#include <QString>

// A failure of the operating system while reading or writing a file, with the user-facing
// description of it.
struct FileSystemError {
    enum class Operation { read, write };

    Operation operation = Operation::read;
    // The errno value; EILSEQ stands for bytes that are not valid UTF-8, ENODEV for a path that is
    // no regular file (a device, FIFO or socket).
    int code = 0;
    QString path;

    // True for the failures that mean there is no file (or no folder) at the path.
    bool isNoSuchFile() const;
    QString description() const;

    static FileSystemError fromErrno(Operation operation, const QString& path, int code);
};
