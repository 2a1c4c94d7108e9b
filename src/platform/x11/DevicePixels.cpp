#include "platform/x11/DevicePixels.h"

#include <QtMath>
#include <algorithm>

namespace {

// Qt scales a point relative to its screen's origin and a size alone, each
// coordinate rounded on its own.
int scaled(int logical, int origin, qreal ratio)
{
    return qRound(qreal(logical - origin) * ratio) + origin;
}

} // namespace

QRect ScreenScale::toNative(const QRect& r) const
{
    return QRect((r.topLeft() - origin) * ratio + origin, r.size() * ratio);
}

QRect ScreenScale::toLogical(const QRect& r) const
{
    return QRect((r.topLeft() - origin) * (1.0 / ratio) + origin, r.size() * (1.0 / ratio));
}

QRect ScreenScale::nativeScreen(const QRect& logicalScreen, const QPoint& limit) const
{
    auto widest = [this](int logicalLength, int room) {
        int n = std::min(room, qCeil((logicalLength + 1) * ratio) + 1);
        while (n > 0 && qRound(n * (1.0 / ratio)) > logicalLength)
            --n;
        return std::max(n, 0);
    };
    return QRect(origin, QSize(widest(logicalScreen.width(), limit.x() - origin.x()),
                               widest(logicalScreen.height(), limit.y() - origin.y())));
}

QRect ScreenScale::edgeStrip(const QRect& bounds, int height, bool bottom) const
{
    const int endX = bounds.x() + bounds.width();
    const int endY = bounds.y() + bounds.height();
    int x = origin.x() + qFloor((bounds.x() - origin.x()) / ratio) - 1;
    while (scaled(x, origin.x(), ratio) < bounds.x())
        ++x;
    const int nativeX = scaled(x, origin.x(), ratio);
    int width = qFloor((endX - nativeX) / ratio) + 1;
    while (width > 0 && nativeX + qRound(width * ratio) > endX)
        --width;
    if (width <= 0)
        return {};
    const int nativeHeight = qRound(height * ratio);
    int y = 0;
    if (bottom) {
        y = origin.y() + qCeil((endY - nativeHeight - origin.y()) / ratio) + 1;
        while (scaled(y, origin.y(), ratio) + nativeHeight > endY)
            --y;
    } else {
        y = origin.y() + qFloor((bounds.y() - origin.y()) / ratio) - 1;
        while (scaled(y, origin.y(), ratio) < bounds.y())
            ++y;
    }
    return QRect(x, y, width, height);
}

QPoint screenLimit(const QRect& approx, const QList<QRect>& others, const QSize& root)
{
    QPoint limit(root.width(), root.height());
    for (const QRect& other : others) {
        const bool besideVertically = other.top() < approx.bottom() && approx.top() < other.bottom();
        const bool besideHorizontally = other.left() < approx.right() && approx.left() < other.right();
        if (besideVertically && other.x() > approx.x())
            limit.setX(std::min(limit.x(), other.x()));
        if (besideHorizontally && other.y() > approx.y())
            limit.setY(std::min(limit.y(), other.y()));
    }
    return limit;
}
