#include "platform/UrlOpener.h"

#include "platform/WebUrl.h"

UrlOpener::~UrlOpener() = default;

bool UrlOpener::openUrl(const QUrl& url)
{
    if (!isSafeWebURL(url))
        return false;
    openWebUrl(url);
    return true;
}
