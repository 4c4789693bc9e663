#pragma once

#include <QByteArray>
#include <QStringList>

#include <sys/stat.h>

// What a file carries besides its text: owner, group, mode, extended attributes and access control
// lists (which Linux keeps as the extended attributes system.posix_acl_*).
class FileMetadata {
public:
    // Gives the open file target the metadata of the file at sourcePath (described by source).
    // Returns an errno value when the mode cannot be set; whatever else cannot be kept (the owner
    // and group for a user who may not give them, an attribute the user may not set) is named in
    // notKept and logged, and the copy goes on.
    static int copy(
        const QByteArray& sourcePath, const struct stat& source, int target, QStringList& notKept);

    // "group not kept", "owner and group not kept": a short note for the status line.
    static QString describeNotKept(const QStringList& notKept);
};
