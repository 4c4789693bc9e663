#include "panel/PanelWelcomeView.h"

#include "panel/PanelStyle.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

// The icon with its soft shadow below it.
class IconLabel : public QWidget {
public:
    explicit IconLabel(QWidget* parent) : QWidget(parent) { setFixedSize(80 + 48, 80 + 48); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF icon(24, 24 - 4, 80, 80);
        // A blurred shadow 8 points down, drawn as a few widening translucent layers.
        const double opacity = PanelStyle::isDark(palette()) ? 0.28 : 0.12;
        for (int i = 8; i >= 1; --i) {
            QPainterPath path;
            const double grow = i * 2.5;
            path.addRoundedRect(
                icon.translated(0, 8).adjusted(-grow, -grow, grow, grow), 18 + grow, 18 + grow);
            painter.fillPath(path, QColor(0, 0, 0, int(255 * opacity / 8 * (1 - i / 9.0))));
        }
        painter.drawPixmap(icon.toRect(), PanelWelcomeView::iconPixmap(80, devicePixelRatioF()));
    }
};

QPixmap PanelWelcomeView::iconPixmap(int side, qreal devicePixelRatio)
{
    // The program's own icon, as the welcome window and every window's title bar show it.
    return QGuiApplication::windowIcon().pixmap(QSize(side, side), devicePixelRatio);
}

PanelWelcomeView::PanelWelcomeView(QWidget* parent) : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(32, 0, 32, 0);
    outer->addStretch(1);

    m_icon = new IconLabel(this);
    outer->addWidget(m_icon, 0, Qt::AlignHCenter);
    outer->addSpacing(12 - 24);

    m_headline = new QLabel(this);
    m_headline->setTextFormat(Qt::RichText);
    m_headline->setText(QStringLiteral("<b>Vesk</b> is a todo app with no features"));
    m_headline->setFont(PanelStyle::font(PanelStyle::TextStyle::title3));
    m_headline->setAlignment(Qt::AlignHCenter);
    m_headline->setWordWrap(true);
    outer->addWidget(m_headline);
    outer->addSpacing(10);

    m_hint = new QLabel(QStringLiteral("Start a new file for helpful tips"), this);
    m_hint->setFont(PanelStyle::font(PanelStyle::TextStyle::body));
    m_hint->setAlignment(Qt::AlignHCenter);
    m_hint->setWordWrap(true);
    outer->addWidget(m_hint);
    outer->addSpacing(32);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch(1);
    m_newFile = new QPushButton(QStringLiteral("New File"), this);
    m_newFile->setDefault(true);
    m_newFile->setAutoDefault(true);
    m_open = new QPushButton(QStringLiteral("Open..."), this);
    buttons->addWidget(m_newFile);
    buttons->addWidget(m_open);
    buttons->addStretch(1);
    outer->addLayout(buttons);
    outer->addStretch(1);

    connect(m_newFile, &QPushButton::clicked, this, &PanelWelcomeView::newFileRequested);
    connect(m_open, &QPushButton::clicked, this, &PanelWelcomeView::openFileRequested);
    applyPalette();
}

void PanelWelcomeView::applyPalette()
{
    QPalette p = m_hint->palette();
    p.setColor(QPalette::WindowText, PanelStyle::secondaryLabelColor(palette()));
    m_hint->setPalette(p);
    // The prominent button carries the accent colour.
    QPalette buttonPalette = m_newFile->palette();
    buttonPalette.setColor(QPalette::Button, PanelStyle::defaultDocumentColor(palette()));
    buttonPalette.setColor(QPalette::ButtonText, Qt::white);
    m_newFile->setPalette(buttonPalette);
}

void PanelWelcomeView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPalette();
}
