#pragma once

#include <QUrl>

// Opens URLs with the system's default handler. Every request passes the same safety gate here,
// whichever backend serves it, so nothing but a safe web URL ever reaches the system.
class UrlOpener {
public:
    virtual ~UrlOpener();

    // Hands url to the backend when isSafeWebURL holds; returns whether it did. The backend's own
    // outcome is not reported.
    bool openUrl(const QUrl& url);

protected:
    // Called only with safe web URLs.
    virtual void openWebUrl(const QUrl& url) = 0;
};
