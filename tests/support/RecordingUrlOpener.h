#pragma once

#include "platform/UrlOpener.h"

#include <QList>
#include <QUrl>

// Records the URLs that passed the opener's safety gate instead of opening them.
class RecordingUrlOpener : public UrlOpener {
public:
    QList<QUrl> opened;

protected:
    void openWebUrl(const QUrl& url) override { opened.append(url); }
};
