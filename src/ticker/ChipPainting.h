#pragma once

#include <QColor>
#include <QFont>
#include <QSizeF>
#include <QString>

class QPainter;
class QRectF;

// The shared look of the strip's status capsules: a symbol, a text, an
// optional trailing symbol, padded 8 × 4, spaced 6, on a filled capsule.
namespace ChipPainting {

constexpr double padX = 8;
constexpr double padY = 4;
constexpr double spacing = 6;

QFont textFont(QFont::Weight weight);
QSizeF measure(const QString& text, const QFont& font, double leadSymbol, double trailSymbol);
// Paints the capsule into `rect`; returns where the trailing symbol went.
QRectF paint(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
             const QColor& fill, const QString& leadSymbol, double leadSide, const QString& trailSymbol,
             double trailSide);

} // namespace ChipPainting
