#pragma once

#include "FakePasteboard.h"
#include "RecordingUrlOpener.h"
#include "ScriptedDialogPresenter.h"
#include "app/AppController.h"
#include "panel/VeskPanelController.h"
#include "platform/FileRevealer.h"
#include "platform/ManualScheduler.h"
#include "platform/SettingsStore.h"
#include "sync/VeskDocumentController.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

// Records the files the controller asked the file manager to show.
class RecordingFileRevealer : public FileRevealer {
public:
    QStringList revealed;
    bool revealFile(const QString& filePath) override
    {
        revealed.append(filePath);
        return true;
    }
};

// One run of the application shell: a private settings file, scripted dialogs, a manual clock, and
// task files in a temporary folder. Relaunching keeps the settings and files.
class ShellFixture {
public:
    ShellFixture()
    {
        settings = std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("settings.ini")));
        SettingsStore::setShared(settings.get());
    }
    ~ShellFixture()
    {
        controller.reset();
        SettingsStore::setShared(nullptr);
    }

    // startup: where the controller puts off what the first frame does not need; none does it at once.
    AppController& launch(bool startShell = true, DeferredStartup* startup = nullptr)
    {
        controller.reset();
        AppController::Services services;
        services.startup = startup;
        services.dialogs = &dialogs;
        services.scheduler = &scheduler;
        services.pasteboard = std::make_shared<FakePasteboard>();
        services.urlOpener = std::make_shared<RecordingUrlOpener>();
        services.fileRevealer = revealer;
        controller = std::make_unique<AppController>(*settings, services);
        if (startShell)
            controller->startShell();
        if (!startup)
            settle();
        return *controller;
    }

    // Lets posted work run: the controller's deferred steps and the window system's events.
    void settle()
    {
        // Lists opened in the background are ready by now.
        if (controller)
            controller->finishOpeningDocuments();
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            scheduler.runDueJobs();
        }
        QCoreApplication::processEvents();
    }

    QString writeTaskFile(
        const QString& name, const QString& text = QStringLiteral("Write the report\n---\nCall Ana\n---\n"))
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(text.toUtf8());
        return path;
    }
    static QUrl url(const QString& path) { return QUrl::fromLocalFile(path); }

    QStringList storedList(const QString& key) const
    {
        const QVariant value = settings->value(key);
        if (value.typeId() == QMetaType::QString)
            return {value.toString()};
        return value.toStringList();
    }

    DocumentContext contextFor(const QString& path) const
    {
        const auto found = controller->contextForFile(url(path));
        return found ? *found : DocumentContext();
    }
    QString activePath() const
    {
        VeskDocumentController* active = controller->activeDocumentController();
        return active ? active->selectedFileURL().toLocalFile() : QString();
    }
    QStringList recentPaths() const
    {
        QStringList paths;
        for (const RecentFileEntry& entry : controller->recentFiles())
            paths.append(entry.url.toLocalFile());
        return paths;
    }

    QTemporaryDir dir;
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogPresenter dialogs;
    ManualScheduler scheduler;
    std::shared_ptr<RecordingFileRevealer> revealer = std::make_shared<RecordingFileRevealer>();
    std::unique_ptr<AppController> controller;
};
