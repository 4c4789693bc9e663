#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// The panel's type scale and colours, in one place. Text styles are derived from the application
// font so that the panel follows the desktop's font settings.
struct PanelStyle {
    enum class TextStyle { title3, body, subheadline, caption, caption2 };

    static QFont font(TextStyle style);
    // The title font of a row of the given section: semibold for the working list.
    static QFont titleFont(bool working);
    static QFont noteFont() { return font(TextStyle::subheadline); }

    static bool isDark(const QPalette& palette);
    static QColor withAlpha(QColor color, double alpha);

    // Primary and secondary label colours and the unemphasised selection colour of an inactive
    // window.
    static QColor labelColor(const QPalette& palette);
    static QColor secondaryLabelColor(const QPalette& palette);
    static QColor unemphasizedSelectionColor(const QPalette& palette);
    // Text on a selected row of an active window.
    static QColor alternateSelectedTextColor(const QPalette& palette);
    // Used when the document controller offers no colour of its own.
    static QColor defaultDocumentColor(const QPalette& palette);

    // The contrast ratio of two colours (1 to 21), from their relative luminance; alpha is ignored.
    static double contrastRatio(const QColor& a, const QColor& b);
    static constexpr double readableContrast = 4.5;
    // The fill of a row whose text is being edited: the selection colour at opacity 0.9 over the
    // background, deepened just enough for text, and the insertion point, in textColor to stand out
    // at least readableContrast.
    static QColor editingFill(const QColor& selection, const QColor& background, const QColor& textColor);
    // fill, deepened (or paled) just enough for textColor to stand out at least readableContrast:
    // document colours are chosen for their hue, not for the white text of a selected row.
    static QColor readableFill(const QColor& fill, const QColor& textColor);
};
