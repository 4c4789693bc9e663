#include "panel/CompletionCollapseModifier.h"

#include <QPainter>

void CompletionCollapseModifier::apply(QPainter& painter, const QRectF& fullRect) const
{
    painter.setOpacity(painter.opacity() * progress);
    painter.setClipRect(QRectF(fullRect.left(), fullRect.top(), fullRect.width(), height(fullRect.height())),
        Qt::IntersectClip);
    painter.translate(0, fullRect.top());
    painter.scale(1, progress);
    painter.translate(0, -fullRect.top());
}
