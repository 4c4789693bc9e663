#include "panel/PanelStyle.h"

#include <QApplication>

#include <cmath>

namespace {

double relativeLuminance(const QColor& color)
{
    const auto linear
        = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) + 0.0722 * linear(rgb.blueF());
}

QColor mix(const QColor& from, const QColor& to, double amount)
{
    const auto channel = [amount](double a, double b) { return a + (b - a) * amount; };
    return QColor::fromRgbF(float(channel(from.redF(), to.redF())),
        float(channel(from.greenF(), to.greenF())), float(channel(from.blueF(), to.blueF())));
}

} // namespace

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

double PanelStyle::contrastRatio(const QColor& a, const QColor& b)
{
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor PanelStyle::editingFill(const QColor& selection, const QColor& background, const QColor& textColor)
{
    return readableFill(mix(background, selection, 0.9 * selection.alphaF()), textColor);
}

QColor PanelStyle::readableFill(const QColor& fill, const QColor& textColor)
{
    // Light text needs a deeper fill, dark text a paler one.
    const QColor pole = relativeLuminance(textColor) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 0; step <= 50; ++step) {
        const QColor candidate = mix(fill, pole, step / 50.0);
        if (contrastRatio(candidate, textColor) >= readableContrast)
            return candidate;
    }
    return pole;
}
