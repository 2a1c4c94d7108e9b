#include "settings/TidewireMarkHalo.h"

QPainterPath TidewireMarkHalo::path(const QRectF& rect)
{
    const qreal k = rect.height() / 148.0;
    QPainterPath path(QPointF(176 * k, 44.03 * k));
    path.cubicTo(QPointF(193.1 * k, 19.73 * k), QPointF(220.33 * k, 4 * k), QPointF(251 * k, 4 * k));
    path.cubicTo(QPointF(281.67 * k, 4 * k), QPointF(308.9 * k, 19.72 * k), QPointF(326 * k, 44.03 * k));
    return path;  // left open: an arch, not a closed shape
}
