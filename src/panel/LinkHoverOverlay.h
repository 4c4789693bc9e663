#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

// The link areas of one row's text and what hovering them shows: a tooltip with the URL and the
// pointing-hand cursor. The list paints its rows itself, so the overlay is not a widget: the list
// keeps one per shown row, positioned over the row's text, and asks it about the pointer.
class LinkHoverOverlay {
public:
    // One line fragment of one link, in the coordinates of the laid-out text (origin at its
    // top-left), rounded outward to whole points.
    struct Region {
        QRectF rect;
        QString tooltip; // the link's absolute URL

        friend bool operator==(const Region& a, const Region& b) = default;
    };

    const QList<Region>& regions() const { return m_regions; }
    // Returns whether anything changed.
    bool setRegions(const QList<Region>& regions);

    // Where the text's top-left lies in the host's coordinates.
    QPointF origin() const { return m_origin; }
    void setOrigin(QPointF origin) { m_origin = origin; }

    // The first region under point (host coordinates), if any.
    const Region* regionAt(QPointF point) const;

private:
    QList<Region> m_regions;
    QPointF m_origin;
};
