#include "windows/WelcomeView.h"

#include "windows/AppIcon.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>

namespace {
constexpr int iconSide = 80;
} // namespace

WelcomeView::WelcomeView(QWidget* parent) : WelcomeBlock(ControlSize::large, parent)
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
    setIcon(m_icon, 12);

    connect(newFileButton(), &QPushButton::clicked, this, &WelcomeView::newFileRequested);
    connect(openFileButton(), &QPushButton::clicked, this, &WelcomeView::openFileRequested);

    applyAppearance();
}

double WelcomeView::iconShadowOpacity() const
{
    return m_iconShadow->color().alphaF();
}

void WelcomeView::changeEvent(QEvent* event)
{
    WelcomeBlock::changeEvent(event);
    // A screen of another pixel ratio needs the icon drawn anew.
    if (event->type() == QEvent::ScreenChangeInternal)
        applyAppearance();
}

void WelcomeView::applyAppearance()
{
    WelcomeBlock::applyAppearance();
    QColor shadow(Qt::black);
    shadow.setAlphaF(shadowOpacity(palette()));
    m_iconShadow->setColor(shadow);
    m_icon->setPixmap(AppIcon::pixmap(iconSide, devicePixelRatioF()));
}
