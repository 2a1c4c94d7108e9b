#pragma once

#include <QPainterPath>
#include <QRectF>

// The arch of the brand mark's halo over the signal dot, scaled by the
// rectangle's height from a 720 × 148 design canvas. The rectangle's origin
// is not added: the path starts at the shape's own origin.
struct TidewireMarkHalo {
    static QPainterPath path(const QRectF& rect);
};
