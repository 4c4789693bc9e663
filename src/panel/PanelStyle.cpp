#include "PanelStyle.h"

#include <QApplication>

QFont PanelStyle::font(TextStyle style)
{
    QFont base = QApplication::font();
    double size = base.pointSizeF() > 0 ? base.pointSizeF() : 10;
    double scale = 1;
    switch (style) {
    case TextStyle::title3:
        scale = 1.25;
        break;
    case TextStyle::body:
        break;
    case TextStyle::subheadline:
        scale = 0.93;
        break;
    case TextStyle::caption:
        scale = 0.85;
        break;
    case TextStyle::caption2:
        scale = 0.8;
        break;
    }
    base.setPointSizeF(size * scale);
    return base;
}

QFont PanelStyle::titleFont(bool working)
{
    QFont f = font(TextStyle::title3);
    if (working)
        f.setWeight(QFont::DemiBold);
    return f;
}

bool PanelStyle::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor PanelStyle::withAlpha(QColor color, double alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

QColor PanelStyle::labelColor(const QPalette& palette)
{
    return palette.color(QPalette::WindowText);
}

QColor PanelStyle::secondaryLabelColor(const QPalette& palette)
{
    return withAlpha(palette.color(QPalette::WindowText), 0.55);
}

QColor PanelStyle::unemphasizedSelectionColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(70, 70, 74) : QColor(220, 220, 224);
}

QColor PanelStyle::alternateSelectedTextColor(const QPalette&)
{
    return Qt::white;
}

QColor PanelStyle::defaultDocumentColor(const QPalette& palette)
{
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}
