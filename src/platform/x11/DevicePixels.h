#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Maps between Qt's logical coordinates and the X server's device pixels on
// one screen, rounding as Qt does when it moves and sizes a window: the
// screen keeps its device-pixel origin, and positions relative to it and
// sizes are scaled and rounded each on their own. At a fractional scale a
// logical rectangle's device-pixel edges therefore need not land where the
// screen's do, and some device-pixel widths have no logical width at all.
struct ScreenScale {
    QPoint origin;
    qreal ratio = 1.0;

    QRect toNative(const QRect& logical) const;
    QRect toLogical(const QRect& native) const;

    // The screen's own rectangle in device pixels, given its logical one:
    // the widest size that Qt's rounding would show as that logical size,
    // ending no later than `limit` (the root window's far corner and the
    // origins of the screens beyond it).
    QRect nativeScreen(const QRect& logicalScreen, const QPoint& limit) const;

    // The largest logical rectangle `height` logical pixels high along the
    // top or bottom of `bounds` (device pixels) whose device-pixel
    // rectangle lies wholly within `bounds`; empty when none does.
    QRect edgeStrip(const QRect& bounds, int height, bool bottom) const;
};

// Where a screen whose device-pixel rectangle is about `approx` can end at
// most: the root window's far corner, moved in to the origin of the nearest
// other screen that lies beyond it to the right (or below) and beside it.
QPoint screenLimit(const QRect& approx, const QList<QRect>& others, const QSize& root);
