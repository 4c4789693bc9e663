#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The auxiliary windows' type scale and colours. Text styles are derived from the application font
// so that the windows follow the desktop's font settings.
struct WindowStyle {
    enum class TextStyle { title3, body, subheadline, caption };

    static QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);
    // The body style in the desktop's fixed-width family.
    static QFont monospacedFont(QFont::Weight weight);

    // Dark appearance: the window background is darker than mid-grey.
    static bool isDark(const QPalette& palette);
    static QColor secondaryLabelColor(const QPalette& palette);
};
