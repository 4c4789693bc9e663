#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The type scale and the colours that the panel and the small windows share. Text styles are
// derived from the application font so that every window follows the desktop's font settings.
struct KitStyle {
    enum class TextStyle { title3, body, subheadline, caption, caption2 };

    // The style at the desktop font's weight, or at the given one.
    static QFont font(TextStyle style);
    static QFont font(TextStyle style, QFont::Weight weight);
    // The body style in the desktop's fixed-width family.
    static QFont monospacedFont(QFont::Weight weight);

    // Dark appearance: the window background is darker than mid-grey.
    static bool isDark(const QPalette& palette);
    static QColor withAlpha(QColor color, double alpha);
    // Primary and secondary (dimmed) text.
    static QColor labelColor(const QPalette& palette);
    static QColor secondaryLabelColor(const QPalette& palette);
};
