#pragma once

#include "platform/UrlOpener.h"

// Opens URLs with the desktop's default handler (QDesktopServices, which asks xdg-open or the
// portal on Linux). Reached only through UrlOpener::openUrl and its safety gate.
class DesktopUrlOpener : public UrlOpener {
protected:
    void openWebUrl(const QUrl& url) override;
};
