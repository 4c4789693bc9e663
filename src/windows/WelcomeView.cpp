#include "windows/WelcomeView.h"

#include "windows/AppIcon.h"
#include "windows/WindowStyle.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int iconSide = 80;

QPushButton* makeLargeButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    QFont font = WindowStyle::font(WindowStyle::TextStyle::body);
    button->setFont(font);
    button->setMinimumHeight(QFontMetrics(font).height() + 18);
    button->setMinimumWidth(110);
    button->setAutoDefault(false);
    return button;
}
} // namespace

WelcomeView::WelcomeView(QWidget* parent) : QWidget(parent)
{
    setFixedSize(width, height);
    setAutoFillBackground(true);

    m_icon = new QLabel(this);
    m_icon->setFixedSize(iconSide, iconSide);
    m_icon->setScaledContents(true);
    m_iconShadow = new QGraphicsDropShadowEffect(this);
    m_iconShadow->setBlurRadius(24);
    m_iconShadow->setOffset(0, 8);
    m_icon->setGraphicsEffect(m_iconShadow);

    m_tagline = new QLabel(this);
    m_tagline->setTextFormat(Qt::RichText);
    m_tagline->setText(tr("<b>Vesk</b> is a todo app with no features"));
    m_tagline->setFont(WindowStyle::font(WindowStyle::TextStyle::title3));
    m_tagline->setAlignment(Qt::AlignCenter);

    m_hint = new QLabel(tr("Start a new file for helpful tips"), this);
    m_hint->setFont(WindowStyle::font(WindowStyle::TextStyle::body));
    m_hint->setAlignment(Qt::AlignCenter);

    m_newFileButton = makeLargeButton(tr("New File"), this);
    m_newFileButton->setDefault(true);
    m_openFileButton = makeLargeButton(tr("Open..."), this);
    connect(m_newFileButton, &QPushButton::clicked, this, &WelcomeView::newFileRequested);
    connect(m_openFileButton, &QPushButton::clicked, this, &WelcomeView::openFileRequested);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(16);
    buttons->addStretch();
    buttons->addWidget(m_newFileButton, 0, Qt::AlignVCenter);
    buttons->addWidget(m_openFileButton, 0, Qt::AlignVCenter);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 0, 32, 0);
    layout->setSpacing(0);
    layout->addStretch();
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);
    layout->addSpacing(12);
    layout->addWidget(m_tagline);
    layout->addSpacing(10);
    layout->addWidget(m_hint);
    layout->addSpacing(32);
    layout->addLayout(buttons);
    layout->addStretch();

    applyAppearance();
}

double WelcomeView::iconShadowOpacity() const
{
    return m_iconShadow->color().alphaF();
}

void WelcomeView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ScreenChangeInternal)
        applyAppearance();
}

void WelcomeView::applyAppearance()
{
    const QPalette& pal = palette();
    QColor shadow(Qt::black);
    shadow.setAlphaF(WindowStyle::isDark(pal) ? 0.28 : 0.12);
    m_iconShadow->setColor(shadow);

    const qreal ratio = devicePixelRatioF();
    m_icon->setPixmap(AppIcon::pixmap(iconSide, ratio));

    QPalette hintPalette = m_hint->palette();
    hintPalette.setColor(QPalette::WindowText, WindowStyle::secondaryLabelColor(pal));
    m_hint->setPalette(hintPalette);

    // The prominent button is filled with the accent colour.
    QPalette accent = m_newFileButton->palette();
    accent.setColor(QPalette::Button, pal.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, pal.color(QPalette::HighlightedText));
    m_newFileButton->setPalette(accent);
}
