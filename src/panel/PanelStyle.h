#pragma once

#include "kit/KitStyle.h"

// The panel's own fonts and colours, beside the type scale and colours of the kit.
struct PanelStyle : KitStyle {
    // The title font of a row of the given section: semibold for the working list.
    static QFont titleFont(bool working);
    static QFont noteFont() { return font(TextStyle::subheadline); }

    // The unemphasised selection colour of an inactive window.
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
