#pragma once

#include <QUrl>

#include <optional>
#include <sys/types.h>
#include <utility>

// The form every document URL takes here, so that one file always gives one URL.
QUrl normalizedFileURL(const QUrl& url);

// Which file a path names, however it is reached (a symbolic link, another hard link, the path
// itself); none when nothing is there.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QUrl& url);
