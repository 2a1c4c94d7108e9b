#include "app/MenuBarMark.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace MenuBarMark {

QColor trayColor()
{
    return QColor(0x4A, 0x7D, 0xFF);
}

Geometry geometry(const QSizeF& size)
{
    const qreal w = size.width();
    const qreal h = size.height();
    const QPointF centre(0.5 * w, 0.55 * h);
    Geometry g;
    g.arcCentre = centre;
    g.arcRadius = 0.34 * w;
    g.lineWidth = std::max(0.1 * w, 1.2);
    // From 205° to 335° measured with y pointing down is, on screen, from
    // 155° clockwise through the top (90°) to 25°.
    g.arcStartAngle = 25;
    g.arcSweep = 130;
    const qreal dot = 0.26 * w;
    g.dot = QRectF(centre.x() - dot / 2, centre.y() - dot / 2, dot, dot);
    const QSizeF bar(0.92 * w, 0.13 * w);
    g.bar = QRectF(QPointF(0.5 * w - bar.width() / 2, 0.86 * h - bar.height() / 2), bar);
    return g;
}

void paint(QPainter& painter, const QRectF& box, const QColor& color)
{
    const Geometry g = geometry(box.size());
    painter.save();
    painter.translate(box.topLeft());
    painter.setRenderHint(QPainter::Antialiasing);

    QPen pen(color, g.lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    const QRectF circle(g.arcCentre.x() - g.arcRadius, g.arcCentre.y() - g.arcRadius, 2 * g.arcRadius,
                        2 * g.arcRadius);
    QPainterPath arc;
    arc.arcMoveTo(circle, g.arcStartAngle);
    arc.arcTo(circle, g.arcStartAngle, g.arcSweep);
    painter.strokePath(arc, pen);

    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(g.dot);
    const qreal corner = g.bar.height() / 2;
    painter.drawRoundedRect(g.bar, corner, corner);
    painter.restore();
}

QImage render(int side, qreal devicePixelRatio, const QColor& color)
{
    if (side <= 0 || devicePixelRatio <= 0)
        return {};
    const int pixels = qRound(side * devicePixelRatio);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter;
    if (!painter.begin(&image))
        return {};
    paint(painter, QRectF(0, 0, side, side), color);
    painter.end();
    return image;
}

} // namespace MenuBarMark
