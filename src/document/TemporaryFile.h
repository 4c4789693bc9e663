#pragma once

#include "document/ContentPieces.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <ctime>
#include <functional>

// The hidden file beside a task file that a save fills before renaming it over the task file. It is
// locked before it has a name and until it is renamed or removed, so that a cleanup never takes a
// running save's file for the leftover of an interrupted one. Its name carries the task file's name
// and Vesk's mark: ".list.vesk.vesk-save.<uuid>.tmp".
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() { discard(); }

    // Creates the file for the task file at target, in its folder. With original (the task file's
    // state), the file gets the task file's owner, group, mode, extended attributes and access
    // control list; what cannot be kept is named in notKept. Returns 0 or an errno value.
    int create(const QByteArray& target, const struct stat* original, QStringList* notKept = nullptr);
    // Writes the content piece by piece, makes it durable and gives the file its name, path.
    int fill(const ContentPieces& content);

    // Once renamed, the file is the target and must stay.
    void keep() { path.clear(); }
    int close();
    // Removes the file unless it was kept, and closes it.
    void discard();

    // Removes the temporary files that interrupted saves of the task file at target left in its
    // folder: only files named for that task file that hold a whole task file, are not locked by a
    // running save and are older than this call.
    static void removeLeftovers(const QByteArray& target);
    // Whether name is the name of a temporary file of the task file named fileName.
    static bool isNameFor(const QByteArray& name, const QByteArray& fileName);

    // Called with path as soon as a temporary file has a name in its folder; tests use it to look
    // at the folder at that moment.
    static std::function<void(const QByteArray& path)> onNamed;
    // False makes every file be created as on a file system without unnamed files (O_TMPFILE).
    static bool useUnnamedFiles;

    QByteArray path;
    int fd = -1;

private:
    int link();

    QByteArray m_folder;
    QByteArray m_fileName;
    // Created without a name (O_TMPFILE): path is given by fill.
    bool m_anonymous = false;
};
