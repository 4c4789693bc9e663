#pragma once

#include <QString>

// A problem with the file behind an open document, as the document controller reports it.
struct FileAccessError {
    enum class Kind { conflict, unavailable, unwritable, unreadableAsVesk };

    Kind kind = Kind::unavailable;
    // The message of conflict, unavailable and unwritable.
    QString message;

    QString description() const;

    static FileAccessError conflict();
    // The file is missing or not a regular file.
    static FileAccessError missing();
    static FileAccessError unreadable();
    static FileAccessError unwritable();
    static FileAccessError unreadableAsVesk();
};
