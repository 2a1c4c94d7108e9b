#include "ticker/PaintedOverlay.h"

#include <QLinearGradient>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage canvas(QSize size, qreal dpr)
{
    QImage image((QSizeF(size) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(QColor(10, 60, 10));
    return image;
}

// The gradient filled straight into the image.
QImage reference(QSize size, qreal dpr, const QRectF& rect, const QColor& color, bool fromRight)
{
    QImage image = canvas(size, dpr);
    QPainter p(&image);
    QColor clear = color;
    clear.setAlphaF(0);
    QLinearGradient gradient(fromRight ? rect.topRight() : rect.topLeft(), fromRight ? rect.topLeft() : rect.topRight());
    gradient.setColorAt(0, color);
    gradient.setColorAt(1, clear);
    p.fillRect(rect, gradient);
    return image;
}

int largestChannelDifference(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

TEST(EdgeFadeTest, DrawsTheSameFadeWhetherCopiedOrFilled)
{
    struct Case {
        const char* name;
        QRectF rect;
        QColor color;
        bool fromRight;
        qreal dpr;
    };
    const Case cases[] = {
        {"leading, black", QRectF(20, 0, 30, 40), Qt::black, false, 1},
        {"trailing, navy", QRectF(150, 4, 40, 30), QColor(10, 20, 90), true, 1},
        {"same size, another colour", QRectF(20, 0, 30, 40), QColor(200, 40, 40), false, 1},
        {"same size and colour, the other way", QRectF(20, 0, 30, 40), QColor(200, 40, 40), true, 1},
        {"twice the pixels", QRectF(20, 0, 30, 40), QColor(200, 40, 40), false, 2},
        {"between pixels", QRectF(20.5, 0, 30, 40), Qt::black, false, 1},
        {"translucent colour", QRectF(0, 0, 50, 40), QColor(255, 255, 255, 128), false, 1},
    };
    const QSize size(200, 40);
    // Twice over: the second round draws from whatever the first one kept.
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            QImage drawn = canvas(size, c.dpr);
            {
                QPainter p(&drawn);
                paintEdgeFade(p, c.rect, c.color, c.fromRight);
            }
            EXPECT_LE(largestChannelDifference(drawn, reference(size, c.dpr, c.rect, c.color, c.fromRight)), 1)
                << c.name << " (round " << round << ")";
        }
    }
}

} // namespace
