#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Alerts and the open and save panels. They are application-modal and block until answered; the
// desktop implementation uses message boxes and file dialogs, tests answer them from a script.
class DialogPresenter {
public:
    virtual ~DialogPresenter();

    // Shows an alert with its buttons in the given order, the first being the default, and returns
    // the index of the chosen button, or -1 when the alert was closed without a choice. Without
    // buttons the alert has the platform's single acknowledging button and returns 0.
    virtual int runAlert(const QString& message, const QString& informativeText, const QStringList& buttons)
        = 0;
    // The same alert as a sheet of one window (given as its widget): modal to that window only and
    // without an icon. An ordinary alert unless the presenter has windows.
    virtual int runWindowAlert(
        QObject* window, const QString& message, const QString& informativeText, const QStringList& buttons);

    // Asks for one existing file (no folders), starting in startFolder (the home folder when
    // empty). nameFilters are "Label (*.ext ...)" entries, the first selected initially. Returns
    // the absolute path, or an empty string when cancelled.
    virtual QString chooseFileToOpen(const QStringList& nameFilters, const QString& startFolder) = 0;

    // Asks for a file to write in startFolder (the home folder when empty), proposing
    // proposedName; the user may create folders. A chosen name without a suffix gets
    // defaultSuffix. Returns the absolute path, or an empty string when cancelled.
    virtual QString chooseFileToSave(const QString& proposedName, const QStringList& nameFilters,
        const QString& defaultSuffix, const QString& startFolder)
        = 0;
};
