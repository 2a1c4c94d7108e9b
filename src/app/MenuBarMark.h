#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The tray item's mark: a signal arc over a dot, above a bar, drawn in one
// colour on a clear background. Linux trays show the picture as given (they
// do not tint a template image), so it is drawn in the palette's text colour.
namespace MenuBarMark {

// Where the three parts sit inside a box of `size`, in its coordinates.
struct Geometry {
    QPointF arcCentre;
    qreal arcRadius = 0;
    qreal lineWidth = 0;
    // Qt's angles: degrees counter-clockwise from three o'clock as seen on
    // screen; the arc passes over the top of its centre.
    qreal arcStartAngle = 0;
    qreal arcSweep = 0;
    QRectF dot;  // the dot's bounding square
    QRectF bar;  // a capsule: corner radius half its height
};

Geometry geometry(const QSizeF& size);

// Draws the mark into `box` in `color`.
void paint(QPainter& painter, const QRectF& box, const QColor& color);

// The mark on a clear square of `side` logical pixels at `devicePixelRatio`;
// a null image when it cannot be drawn.
QImage render(int side, qreal devicePixelRatio, const QColor& color);

} // namespace MenuBarMark
