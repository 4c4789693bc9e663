#include "windows/WindowStyle.h"

#include <QApplication>
#include <QFontDatabase>

namespace {

double scale(WindowStyle::TextStyle style)
{
    switch (style) {
    case WindowStyle::TextStyle::title3:
        return 1.25;
    case WindowStyle::TextStyle::body:
        return 1;
    case WindowStyle::TextStyle::subheadline:
        return 0.93;
    case WindowStyle::TextStyle::caption:
        return 0.85;
    }
    return 1;
}

QFont scaled(QFont base, WindowStyle::TextStyle style, QFont::Weight weight)
{
    const double size = QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 10;
    base.setPointSizeF(size * scale(style));
    base.setWeight(weight);
    return base;
}

} // namespace

QFont WindowStyle::font(TextStyle style, QFont::Weight weight)
{
    return scaled(QApplication::font(), style, weight);
}

QFont WindowStyle::monospacedFont(QFont::Weight weight)
{
    return scaled(QFontDatabase::systemFont(QFontDatabase::FixedFont), TextStyle::body, weight);
}

bool WindowStyle::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor WindowStyle::secondaryLabelColor(const QPalette& palette)
{
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(color.alphaF() * 0.55);
    return color;
}
