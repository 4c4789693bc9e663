#pragma once

#include <QRectF>

class QPainter;

// How a row leaving its section (or arriving in its new one) is drawn part-way: faded to progress,
// squeezed vertically toward its top edge and clipped. Progress 1 is the row as usual; the
// transition runs between removedProgress and 1.
struct CompletionCollapseModifier {
    static constexpr double removedProgress = 0.001;

    double progress = 1;

    // The height the row takes in the list.
    double height(double fullHeight) const { return fullHeight * progress; }
    // Sets up painter so that drawing the row in fullRect draws it collapsed; the caller saves
    // and restores the painter around it.
    void apply(QPainter& painter, const QRectF& fullRect) const;
};
