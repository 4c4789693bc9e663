#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Receives the requests to open files (paths on the command line, paths forwarded by a second
// launch, files dropped on a panel) and hands them to the application controller, keeping them
// until one exists.
class VeskAppDelegate : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    const QList<QUrl>& pendingOpenURLs() const { return m_pendingOpenURLs; }

    // Runs once the application is up: opens the requests that arrived before the controller.
    void applicationDidFinishLaunching();
    // Opens each file in order (an already open one is brought forward); answers whether at least
    // one of them is open now, or, once the launch has finished, on its way (see
    // AppController::openDocumentInBackground). Each failure is reported on its own.
    bool handleOpenRequest(const QList<QUrl>& urls);
    void flushPendingOpenURLs();

    // Paths as given on a command line, relative ones taken from workingDirectory.
    static QList<QUrl> urlsForPaths(const QStringList& paths, const QString& workingDirectory);

private:
    QList<QUrl> m_pendingOpenURLs;
    bool m_hasFinishedLaunching = false;
};
