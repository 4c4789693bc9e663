#include "windows/AboutBox.h"

#include "BuildInfo.h"
#include "windows/AppIcon.h"

#include <QLabel>
#include <QMessageBox>

QString AboutBox::homePage()
{
    return QStringLiteral(VESK_BUILD_HOMEPAGE);
}

QString AboutBox::text()
{
    QString text = QStringLiteral("<h3>Vesk %1</h3><p>%2.</p><p>Licence: %3</p>")
                       .arg(QStringLiteral(VESK_VERSION).toHtmlEscaped(),
                           QStringLiteral(VESK_BUILD_DESCRIPTION).toHtmlEscaped(),
                           QStringLiteral(VESK_BUILD_LICENSE).toHtmlEscaped());
    if (!homePage().isEmpty())
        text += QStringLiteral("<p><a href=\"%1\">%1</a></p>").arg(homePage().toHtmlEscaped());
    return text;
}

QMessageBox* AboutBox::open(QWidget* parent)
{
    // As QMessageBox::about builds it, without its modal loop.
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(title());
    box->setTextFormat(Qt::RichText);
    box->setText(text());
    box->setIconPixmap(AppIcon::pixmap(64, box->devicePixelRatio()));
    box->setStandardButtons(QMessageBox::Ok);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setOpenExternalLinks(true);
    box->open();
    return box;
}
