#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The tray item's mark: a signal arc over a dot, above a bar, drawn in one
// colour on a clear background. Most Linux trays show the picture as given,
// on a panel whose colour the app cannot know (the app's palette describes
// its own windows, not the panel), so the tray's picture is drawn in a
// mid-tone that stands out on black and on white panels alike.
namespace MenuBarMark {

// The brand blue: relative luminance about 0.23, so 3.7:1 against white and
// 5.7:1 against black.
QColor trayColor();

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
