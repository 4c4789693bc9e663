#include "panel/LinkHoverOverlay.h"

bool LinkHoverOverlay::setRegions(const QList<Region>& regions)
{
    if (regions == m_regions)
        return false;
    m_regions = regions;
    return true;
}

const LinkHoverOverlay::Region* LinkHoverOverlay::regionAt(QPointF point) const
{
    const QPointF local = point - m_origin;
    for (const Region& region : m_regions) {
        if (region.rect.contains(local))
            return &region;
    }
    return nullptr;
}
