#pragma once

#include <QString>
#include <QUrl>

// One file of the Open Recent menu. The stored reference is the file's absolute path.
struct RecentFileEntry {
    QString storedPath;
    QUrl url;

    // Entries stand for the same file when their URLs' paths agree.
    QString identity() const { return url.path(); }

    friend bool operator==(const RecentFileEntry&, const RecentFileEntry&) = default;
};
