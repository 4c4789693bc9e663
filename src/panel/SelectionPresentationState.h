#pragma once

#include <optional>

// How one task's row presents its expansion.
struct SelectionPresentationState {
    bool visibleExpanded = false; // the row shows its full title and note
    std::optional<double> animatedHeight; // the text block's height while it grows or shrinks
};
