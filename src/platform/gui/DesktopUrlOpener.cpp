#include "platform/gui/DesktopUrlOpener.h"

#include <QDesktopServices>

void DesktopUrlOpener::openWebUrl(const QUrl& url)
{
    // The outcome is not examined: a failed launch has nothing the session could do about it.
    QDesktopServices::openUrl(url);
}
