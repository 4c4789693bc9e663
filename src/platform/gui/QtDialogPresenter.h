#pragma once

#include "platform/DialogPresenter.h"

#include <QPointer>

class QMessageBox;
class QWidget;

// Alerts as QMessageBox and panels as QFileDialog, all application-modal.
class QtDialogPresenter : public DialogPresenter {
public:
    // parent, when given, is the window the dialogs are centred on.
    explicit QtDialogPresenter(QWidget* parent = nullptr);

    int runAlert(const QString& message, const QString& informativeText, const QStringList& buttons) override;
    int runWindowAlert(QObject* window, const QString& message, const QString& informativeText,
        const QStringList& buttons) override;
    QString chooseFileToOpen(const QStringList& nameFilters, const QString& startFolder) override;
    QString chooseFileToSave(const QString& proposedName, const QStringList& nameFilters,
        const QString& defaultSuffix, const QString& startFolder) override;

private:
    static int run(
        QMessageBox& box, const QString& message, const QString& informativeText, const QStringList& buttons);

    QPointer<QWidget> m_parent;
};
