#include "platform/gui/QtDialogPresenter.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

// A question to the user shows the ordinary pointer, also while Vesk shows that it is busy (a list
// being opened in the background).
class OrdinaryPointer {
public:
    OrdinaryPointer() : m_overridden(QGuiApplication::overrideCursor() != nullptr)
    {
        if (m_overridden)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~OrdinaryPointer()
    {
        if (m_overridden)
            QGuiApplication::restoreOverrideCursor();
    }
    OrdinaryPointer(const OrdinaryPointer&) = delete;
    OrdinaryPointer& operator=(const OrdinaryPointer&) = delete;

private:
    bool m_overridden;
};

} // namespace

QtDialogPresenter::QtDialogPresenter(QWidget* parent) : m_parent(parent) { }

int QtDialogPresenter::runAlert(
    const QString& message, const QString& informativeText, const QStringList& buttons)
{
    QMessageBox box(m_parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(QMessageBox::Warning);
    return run(box, message, informativeText, buttons);
}

int QtDialogPresenter::runWindowAlert(
    QObject* window, const QString& message, const QString& informativeText, const QStringList& buttons)
{
    auto* parent = qobject_cast<QWidget*>(window);
    if (!parent)
        return runAlert(message, informativeText, buttons);
    QMessageBox box(parent->window());
    box.setWindowModality(Qt::WindowModal);
    box.setIcon(QMessageBox::NoIcon);
    return run(box, message, informativeText, buttons);
}

int QtDialogPresenter::run(
    QMessageBox& box, const QString& message, const QString& informativeText, const QStringList& buttons)
{
    const OrdinaryPointer pointer;
    box.setText(message);
    box.setInformativeText(informativeText);
    if (buttons.isEmpty()) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return 0;
    }
    QList<QPushButton*> pushButtons;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        // The first answer is the default; a last "Cancel" is also what Escape chooses.
        const bool isCancel = i > 0 && i == buttons.size() - 1 && buttons.at(i) == QStringLiteral("Cancel");
        const auto role = i == 0 ? QMessageBox::AcceptRole
            : isCancel           ? QMessageBox::RejectRole
                                 : QMessageBox::ActionRole;
        QPushButton* button = box.addButton(buttons.at(i), role);
        pushButtons.append(button);
        if (isCancel)
            box.setEscapeButton(button);
    }
    box.setDefaultButton(pushButtons.first());
    box.exec();
    return int(pushButtons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}

QString QtDialogPresenter::chooseFileToOpen(const QStringList& nameFilters, const QString& startFolder)
{
    // Not the working folder, which is wherever Vesk happened to be started from.
    QFileDialog dialog(m_parent, QString(), startFolder.isEmpty() ? QDir::homePath() : startFolder);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters);
    const OrdinaryPointer pointer;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString QtDialogPresenter::chooseFileToSave(const QString& proposedName, const QStringList& nameFilters,
    const QString& defaultSuffix, const QString& startFolder)
{
    QFileDialog dialog(m_parent, QString(), startFolder.isEmpty() ? QDir::homePath() : startFolder);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(proposedName);
    const OrdinaryPointer pointer;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
