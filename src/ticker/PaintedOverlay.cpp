#include "ticker/PaintedOverlay.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

PaintedOverlay::PaintedOverlay(Painter painter, QWidget* parent) : QWidget(parent), m_painter(std::move(painter))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void PaintedOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_painter)
        m_painter(p, rect());
}

namespace {

void fillFade(QPainter& painter, const QRectF& rect, const QColor& color, bool fromRight)
{
    QColor clear = color;
    clear.setAlphaF(0);
    QLinearGradient gradient(fromRight ? rect.topRight() : rect.topLeft(),
                             fromRight ? rect.topLeft() : rect.topRight());
    gradient.setColorAt(0, color);
    gradient.setColorAt(1, clear);
    painter.fillRect(rect, gradient);
}

struct FadeKey {
    QSize size;
    QRgb color;
    bool fromRight;
    qreal dpr;
    bool operator==(const FadeKey&) const = default;
};

} // namespace

void paintEdgeFade(QPainter& painter, const QRectF& rect, const QColor& color, bool fromRight)
{
    // Fades lie over moving rows and are drawn again every frame: a fade on
    // whole pixels is drawn once and copied after that.
    const QRect whole = rect.toRect();
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (QRectF(whole) != rect || whole.isEmpty() || painter.transform().type() > QTransform::TxTranslate
        || painter.opacity() < 1.0) {
        fillFade(painter, rect, color, fromRight);
        return;
    }
    // A few fades are in use at once (the strips, the brand block); widgets
    // paint on the main thread only.
    static QList<std::pair<FadeKey, QPixmap>> cache;
    const FadeKey key{whole.size(), color.rgba(), fromRight, dpr};
    auto found = std::find_if(cache.begin(), cache.end(), [&](const auto& entry) { return entry.first == key; });
    if (found == cache.end()) {
        QPixmap picture(QSize(int(std::ceil(whole.width() * dpr)), int(std::ceil(whole.height() * dpr))));
        picture.setDevicePixelRatio(dpr);
        picture.fill(Qt::transparent);
        QPainter p(&picture);
        fillFade(p, QRectF(QPointF(0, 0), QSizeF(whole.size())), color, fromRight);
        p.end();
        if (cache.size() >= 8)
            cache.removeFirst();
        cache.append({key, std::move(picture)});
        found = cache.end() - 1;
    }
    painter.drawPixmap(whole.topLeft(), found->second);
}
