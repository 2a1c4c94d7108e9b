#include "ticker/ChipPainting.h"

#include "ticker/TickerSymbols.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace ChipPainting {

QFont textFont(QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(9);
    font.setWeight(weight);
    return font;
}

QSizeF measure(const QString& text, const QFont& font, double leadSymbol, double trailSymbol)
{
    const QFontMetricsF fm(font);
    double w = leadSymbol + spacing + fm.horizontalAdvance(text);
    if (trailSymbol > 0)
        w += spacing + trailSymbol;
    const double h = std::max({fm.height(), leadSymbol, trailSymbol});
    return {w + 2 * padX, h + 2 * padY};
}

QRectF paint(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font, const QColor& color,
             const QColor& fill, const QString& leadSymbol, double leadSide, const QString& trailSymbol,
             double trailSide)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath capsule;
    capsule.addRoundedRect(rect, rect.height() / 2, rect.height() / 2);
    painter.fillPath(capsule, fill);
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double midY = rect.center().y();
    double x = rect.left() + padX;
    painter.drawPixmap(QPointF(x, midY - leadSide / 2), TickerSymbols::pixmap(leadSymbol, leadSide, color, dpr));
    x += leadSide + spacing;
    const QFontMetricsF fm(font);
    const double textWidth = fm.horizontalAdvance(text);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    x += textWidth;
    QRectF trail;
    if (trailSide > 0) {
        x += spacing;
        trail = QRectF(x, midY - trailSide / 2, trailSide, trailSide);
        painter.drawPixmap(trail.topLeft(), TickerSymbols::pixmap(trailSymbol, trailSide, color, dpr));
    }
    painter.restore();
    return trail;
}

} // namespace ChipPainting
