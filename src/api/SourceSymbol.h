#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

class QPainter;

// The single-colour symbols of the source kinds (symbolName(SourceType)),
// tinted at paint time and cached per name, size, colour and scale.
namespace SourceSymbol {

// True when a symbol of that name ships with the app.
bool exists(const QString& name);
// The symbol tinted with `color`, `side` logical pixels square at the
// device pixel ratio `scale`; a null image for an unknown name.
QImage image(const QString& name, qreal side, const QColor& color, qreal scale = 1.0);
// Draws the symbol into `rect` (a square is fitted, centred).
void paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color);

} // namespace SourceSymbol
