#include "kit/KitStyle.h"

#include <QApplication>
#include <QFontDatabase>

namespace {

double scale(KitStyle::TextStyle style)
{
    switch (style) {
    case KitStyle::TextStyle::title3:
        return 1.25;
    case KitStyle::TextStyle::body:
        return 1;
    case KitStyle::TextStyle::subheadline:
        return 0.93;
    case KitStyle::TextStyle::caption:
        return 0.85;
    case KitStyle::TextStyle::caption2:
        return 0.8;
    }
    return 1;
}

QFont scaled(QFont base, KitStyle::TextStyle style)
{
    const double size = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 10;
    base.setPointSizeF(size * scale(style));
    return base;
}

} // namespace

QFont KitStyle::font(TextStyle style)
{
    return scaled(QApplication::font(), style);
}

QFont KitStyle::font(TextStyle style, QFont::Weight weight)
{
    QFont font = scaled(QApplication::font(), style);
    font.setWeight(weight);
    return font;
}

QFont KitStyle::monospacedFont(QFont::Weight weight)
{
    QFont font = scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), TextStyle::body);
    font.setWeight(weight);
    return font;
}

bool KitStyle::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor KitStyle::withAlpha(QColor color, double alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

QColor KitStyle::labelColor(const QPalette& palette)
{
    return palette.color(QPalette::WindowText);
}

QColor KitStyle::secondaryLabelColor(const QPalette& palette)
{
    return withAlpha(palette.color(QPalette::WindowText), 0.55);
}
