#include "app/VeskAppDelegate.h"

#include "app/AppController.h"

#include <QDir>

void VeskAppDelegate::applicationDidFinishLaunching()
{
    flushPendingOpenURLs();
    m_hasFinishedLaunching = true;
    // The welcome window waited for the files of the launch; none of them opened.
    if (AppController* controller = AppController::shared())
        controller->showWelcomeWindowIfNothingIsOpen();
}

bool VeskAppDelegate::handleOpenRequest(const QList<QUrl>& urls)
{
    AppController* controller = AppController::shared();
    if (!controller) {
        m_pendingOpenURLs.append(urls);
        return true;
    }
    // The files of the launch open before its first window, which waits for them; later ones (drops,
    // a second launch) are read while the windows stay responsive.
    if (m_hasFinishedLaunching) {
        for (const QUrl& url : urls)
            controller->openDocumentInBackground(url, false, VeskDocumentController::PlainText::offerImport);
        return !urls.isEmpty();
    }
    bool handled = false;
    for (const QUrl& url : urls) {
        if (controller->openDocumentAtURL(url, false, VeskDocumentController::PlainText::offerImport))
            handled = true;
    }
    return handled;
}

void VeskAppDelegate::flushPendingOpenURLs()
{
    if (m_pendingOpenURLs.isEmpty() || !AppController::shared())
        return;
    const QList<QUrl> urls = std::exchange(m_pendingOpenURLs, {});
    handleOpenRequest(urls);
}

QList<QUrl> VeskAppDelegate::urlsForPaths(const QStringList& paths, const QString& workingDirectory)
{
    QList<QUrl> urls;
    const QDir base(workingDirectory);
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        const QUrl given(path);
        if (given.isLocalFile()) {
            urls.append(given);
            continue;
        }
        urls.append(QUrl::fromLocalFile(QDir::cleanPath(base.absoluteFilePath(path))));
    }
    return urls;
}
