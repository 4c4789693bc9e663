#pragma once

#include "session/RenderedRow.h"
#include "session/TaskDisplayText.h"

#include <QColor>
#include <QPalette>
#include <QRectF>

#include <functional>

class QPainter;
class TaskRowLayout;
class TaskTextLayoutCache;

// The colours of the task list in one appearance.
struct TaskRowColors {
    QPalette palette;
    bool windowActive = false;
    QColor documentColor;

    // The document colour while the window is active, else the unemphasised selection colour.
    QColor selection() const;
    // The fill of a row in text editing (the edited task, the selected input row).
    QColor editingFill() const;
    QColor primaryText() const;
    QColor secondaryText() const;
    QColor selectedText() const;
};

// Draws the blocks of the task list where the row layout puts them: section headers, task and
// completion-shell rows, the input row, and a row part-way through a transition. Needs no widget.
class TaskRowPainter {
public:
    // How one task or shell row is presented.
    struct RowLook {
        bool shell = false;
        bool selected = false;
        bool editing = false; // its inline editor lies over the text
        bool struckThrough = false; // done, or showing its completion preview
        bool expanded = false;
        bool contextMenuTarget = false;
        double raise = 0; // how far the row is raised for its drag, 0 to 1
    };

    // --- The look of a row, besides the geometry of the row layout ---
    static constexpr double markerHeight = 4;
    static constexpr double markerRadius = 2;
    static constexpr double completedMarkerHeight = 2;
    static constexpr double completedMarkerRadius = 1;
    static constexpr double markerLineWidth = 1; // the outlined marker of the inbox
    static constexpr double completedMarkerOpacity = 0.72;
    static constexpr double noteOpacity = 0.82;
    static constexpr double placeholderOpacity = 0.55;
    static constexpr double placeholderRaise = 0.5; // the placeholder sits this much higher
    static constexpr double ruleHeight = 1;
    static constexpr double ruleOpacity = 0.25;
    static constexpr double contextOutlineWidth = 2;
    static constexpr double draggedFillDark = 0.05; // white, in a dark appearance
    static constexpr double draggedFillLight = 0.035; // black, in a light appearance
    static constexpr double raisedScale = 1.018;
    static constexpr double shadowOpacity = 0.12;
    static constexpr double shadowOffset = 3;
    static constexpr double shadowRadius = 8;

    TaskRowPainter(QPainter& painter, const TaskRowLayout& layout, const TaskRowColors& colors,
        TaskTextLayoutCache& cache);

    // Asked for when a painted row's link areas become known.
    std::function<void()> onLinkRegionsReady;

    void paintHeader(TaskSection section, const QRectF& rect);
    void paintTaskRow(const RenderedRow& row, const RowLook& look, const QRectF& rect);
    void paintInputRow(bool selected, bool draftEmpty, const QRectF& rect);
    // A task or shell row collapsed to progress, slid by offset and raised by look.raise; rect is
    // where the layout puts it (already scaled by progress).
    void paintTransitionedRow(
        const RenderedRow& row, const RowLook& look, const QRectF& rect, double progress, double offset);
    // How far the marker lies below the top of a line of lineSpacing.
    static double markerDrop(TaskSection section, double lineSpacing);

private:
    void paintMarker(TaskSection section, QPointF origin, const QColor& color, double lineSpacing);
    void paintRaisedShadow(const QRectF& rect, double raise);
    void requestLinkRegions(const TaskDisplayText& display, TaskSection section, bool expanded);

    QPainter& m_painter;
    const TaskRowLayout& m_layout;
    TaskRowColors m_colors;
    TaskTextLayoutCache& m_cache;
};
