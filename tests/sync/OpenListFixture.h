#pragma once

#include "FileBytes.h"
#include "ScriptedDialogPresenter.h"
#include "platform/FileWatcher.h"
#include "platform/ManualScheduler.h"
#include "session/SessionController.h"
#include "sync/VeskDocumentController.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// One list in a temporary folder, open in a document controller with a scripted user and a clock
// that tests move.
struct OpenList {
    QTemporaryDir folder;
    ManualScheduler scheduler;
    ScriptedDialogPresenter dialogs;
    VeskDocumentController controller {&dialogs, &scheduler};
    QString path = folder.filePath(QStringLiteral("list.vesk"));
    QList<QUrl> announcedURLs;

    OpenList()
    {
        controller.onSelectedFileURLChange = [this](const QUrl& url) { announcedURLs.append(url); };
    }
    SessionController& session() { return *controller.sessionController(); }
    bool open(const QByteArray& text)
    {
        writeBytes(path, text);
        return !controller.openDocument(QUrl::fromLocalFile(path));
    }
    // A committed change, as the panel makes it: a new task typed into the inbox; then its save.
    void addTask(const QString& title)
    {
        session().beginCreatingNewItem(title);
        session().commitNewItem();
        controller.waitForWrites();
    }
    // Hands the notifications the kernel has queued for what just happened to every watcher.
    void deliverFileEvents()
    {
        for (FileWatcher* watcher : controller.findChildren<FileWatcher*>())
            watcher->processPendingEvents();
    }
};
