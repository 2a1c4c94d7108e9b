#pragma once

#include <QRect>

class QScreen;
class QWidget;

// Where the app's own windows (settings, search) stand: the whole frame the
// window manager puts around one, title bar included, inside its screen's
// work area, so it can always be moved and closed. Main thread only.
namespace WindowFrame {

// The part of `screen` windows may take: on X11 it already leaves out the
// panels' and the strip's reserved edges.
QRect workArea(const QScreen* screen);

// Where a window really is: after a move by the window manager Qt's window
// handle follows at once while the widget's own geometry may lag.
QRect currentGeometry(const QWidget* window);
// Moves a window there, through its handle when it is shown: a widget that
// believes it is already where it is asked to go sends nothing.
void applyGeometry(QWidget* window, const QRect& rect);

// Moves and shrinks `window` so that it and the window manager's frame
// around it lie inside the work area of the screen under it (the primary
// screen's when none is), lowering its minimum size where it must.
void fitInsideWorkArea(QWidget* window);

// Fits `window` now, again once the window manager has framed it (its title
// bar is known only then), and whenever a screen or its work area changes
// under it, for as long as the window lives.
void keepInsideWorkArea(QWidget* window);

} // namespace WindowFrame
