#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// "About Vesk": the version, what Vesk is, its licence and, when the build names one, its home
// page, in the desktop's usual About box (the form of QMessageBox::about). It does not block: the
// box is opened and left to the user.
class AboutBox {
public:
    static QString title() { return QStringLiteral("About Vesk"); }
    // The box's rich text.
    static QString text();
    // Empty unless the build set one.
    static QString homePage();

    // A new box over parent, opened; it deletes itself when closed.
    static QMessageBox* open(QWidget* parent);
};
