#include "app/VeskAppDelegate.h"

#include "app/AppController.h"

#include <QDir>

void VeskAppDelegate::applicationDidFinishLaunching()
{
    flushPendingOpenURLs();
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
