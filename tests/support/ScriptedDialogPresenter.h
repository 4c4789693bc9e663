#pragma once

#include "platform/DialogPresenter.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Answers alerts and panels from a script and records what was asked, so logic tests run without
// windows. Alerts can run code "while on screen", as events arriving in a modal loop would.
class ScriptedDialogPresenter : public DialogPresenter {
public:
    struct Alert {
        QString message;
        QString informativeText;
        QStringList buttons;
        // The window of an alert shown as its sheet.
        QObject* window = nullptr;
    };
    struct SaveRequest {
        QString proposedName;
        QStringList nameFilters;
        QString defaultSuffix;
        QString startFolder;
    };

    // Answers, used from the front; when none is left an alert answers unscriptedAnswer (or 0 for
    // an alert without buttons) and a panel is cancelled.
    QList<int> alertAnswers;
    // -1: closed without a choice.
    int unscriptedAnswer = -1;
    QStringList filesToOpen;
    QStringList filesToSave;
    // Runs inside each alert before it is answered.
    std::function<void()> whileAlertShows;

    QList<Alert> alerts;
    QList<QStringList> openRequests;
    QStringList openFolders;
    QList<SaveRequest> saveRequests;
    int alertsOnScreen = 0;
    int mostAlertsOnScreen = 0;

    int runAlert(const QString& message, const QString& informativeText, const QStringList& buttons) override
    {
        alerts.append({message, informativeText, buttons});
        ++alertsOnScreen;
        mostAlertsOnScreen = std::max(mostAlertsOnScreen, alertsOnScreen);
        if (whileAlertShows)
            whileAlertShows();
        --alertsOnScreen;
        if (!alertAnswers.isEmpty())
            return alertAnswers.takeFirst();
        return buttons.isEmpty() ? 0 : unscriptedAnswer;
    }

    // runAlert as a plain callback, for code that asks through one.
    auto alertCallback() { return std::bind_front(&ScriptedDialogPresenter::runAlert, this); }

    int runWindowAlert(QObject* window, const QString& message, const QString& informativeText,
        const QStringList& buttons) override
    {
        const int answer = runAlert(message, informativeText, buttons);
        alerts.last().window = window;
        return answer;
    }

    QString chooseFileToOpen(const QStringList& nameFilters, const QString& startFolder) override
    {
        openRequests.append(nameFilters);
        openFolders.append(startFolder);
        return filesToOpen.isEmpty() ? QString() : filesToOpen.takeFirst();
    }

    QString chooseFileToSave(const QString& proposedName, const QStringList& nameFilters,
        const QString& defaultSuffix, const QString& startFolder) override
    {
        saveRequests.append({proposedName, nameFilters, defaultSuffix, startFolder});
        return filesToSave.isEmpty() ? QString() : filesToSave.takeFirst();
    }
};
