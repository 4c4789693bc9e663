#pragma once

#include <QByteArray>

// Writes a file's new text over its old text, for a file that cannot be replaced by renaming (its
// folder refuses new files) or must not be (it has several hard links). The space is reserved
// before a byte of the old text is touched, so that a full disk fails the write with the old text
// intact; a later failure puts the old text back as far as the disk allows.
class InPlaceWriter {
public:
    // Returns 0 or an errno value. A file that does not exist is created.
    static int write(const QByteArray& target, const QByteArray& bytes);
};
