#include "panel/PanelStyle.h"

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

QFont PanelStyle::titleFont(bool working)
{
    QFont f = font(TextStyle::title3);
    if (working)
        f.setWeight(QFont::DemiBold);
    return f;
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
