#pragma once

#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

// The look shared by the music chips: a capsule with a leading symbol, a
// plain-text label and a trailing close cross.
namespace MusicChipPainting {

enum class Symbol { Note, Waves };

constexpr double height = 22;
constexpr double padX = 8;
constexpr double spacing = 6;
constexpr double symbolSide = 11;
constexpr double closeSide = 12;
constexpr double maxTextWidth = 320;

QFont font();
// The capsule's size for `text` (elided to maxTextWidth).
QSizeF measure(const QString& text);
// The close button's square inside a capsule of `size`.
QRectF closeRect(const QSizeF& size);
void paint(QPainter& painter, const QRectF& rect, Symbol symbol, const QString& text);

} // namespace MusicChipPainting
