#include "panel/PanelWelcomeView.h"

#include "panel/PanelStyle.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

// The icon with its soft shadow below it, drawn in a square 24 points wider on every side.
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
        const double opacity = WelcomeBlock::shadowOpacity(palette());
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

} // namespace

QPixmap PanelWelcomeView::iconPixmap(int side, qreal devicePixelRatio)
{
    // The program's own icon, as the welcome window and every window's title bar show it.
    return QGuiApplication::windowIcon().pixmap(QSize(side, side), devicePixelRatio);
}

PanelWelcomeView::PanelWelcomeView(QWidget* parent) : WelcomeBlock(ControlSize::regular, parent)
{
    setRowSpacing(-1);
    // The square around the icon holds its shadow, so the tagline moves up into it.
    setIcon(new IconLabel(this), 12 - 24);
    connect(newFileButton(), &QPushButton::clicked, this, &PanelWelcomeView::newFileRequested);
    connect(openFileButton(), &QPushButton::clicked, this, &PanelWelcomeView::openFileRequested);
    applyAppearance();
}

std::pair<QColor, QColor> PanelWelcomeView::accentColors(const QPalette& palette) const
{
    return {PanelStyle::defaultDocumentColor(palette), Qt::white};
}
