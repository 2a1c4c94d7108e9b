#include "api/SourceSymbol.h"
#include "api/SourceTypeBadge.h"

#include "ApiTestUtil.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage render(const SourceTypeBadge& badge, QSize size = QSize(120, 30))
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    badge.paint(p, QPointF(2, 2));
    return image;
}

bool isBlank(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return false;
        }
    }
    return true;
}

TEST(SourceTypeBadge, KindsWithoutAWordDrawNothing)
{
    for (SourceType type : {SourceType::Rss, SourceType::NewsApi}) {
        for (bool compact : {false, true}) {
            const SourceTypeBadge badge(type, compact);
            const SourceTypeBadgeLayout layout = badge.layout();
            EXPECT_TRUE(layout.isEmpty);
            EXPECT_TRUE(badge.sizeHint().isEmpty());
            EXPECT_TRUE(isBlank(render(badge)));
        }
    }
}

TEST(SourceTypeBadge, FullLayout)
{
    for (SourceType type : allSourceTypes()) {
        if (!badgeText(type))
            continue;
        const SourceTypeBadge badge(type, false);
        const SourceTypeBadgeLayout l = badge.layout();
        const QFontMetricsF metrics(SourceTypeBadge::wordFont());
        const qreal wordWidth = metrics.horizontalAdvance(*badgeText(type));
        ASSERT_FALSE(l.isEmpty);
        EXPECT_EQ(l.word, *badgeText(type));
        EXPECT_DOUBLE_EQ(l.symbol.left(), 5.0);
        EXPECT_DOUBLE_EQ(l.symbol.width(), 9.0);
        EXPECT_DOUBLE_EQ(l.text.left(), l.symbol.right() + 3.0);
        EXPECT_DOUBLE_EQ(l.size.width(), 5.0 + 9.0 + 3.0 + wordWidth + 5.0);
        EXPECT_DOUBLE_EQ(l.size.height(), 2.0 + std::max(9.0, metrics.height()) + 2.0);
        EXPECT_DOUBLE_EQ(l.symbol.center().y(), l.size.height() / 2) << "centred vertically";
        EXPECT_EQ(l.font.pixelSize(), 9);
        EXPECT_EQ(l.font.weight(), QFont::Black);
        EXPECT_EQ(rgba(l.color), rgba(accentColor(type)));
        EXPECT_EQ(badge.accessibleName(), displayName(type));
        EXPECT_TRUE(SourceSymbol::exists(l.symbolName)) << l.symbolName.toStdString();
    }
}

TEST(SourceTypeBadge, CompactShowsTheSymbolOnly)
{
    const SourceTypeBadge badge(SourceType::Reddit, true);
    const SourceTypeBadgeLayout l = badge.layout();
    ASSERT_FALSE(l.isEmpty);
    EXPECT_TRUE(l.word.isEmpty());
    EXPECT_TRUE(l.text.isEmpty());
    EXPECT_EQ(l.size, QSizeF(3 + 7 + 3, 1 + 7 + 1));
    EXPECT_EQ(l.symbol, QRectF(3, 1, 7, 7));
}

TEST(SourceTypeBadge, PaintsTintedBackgroundAndSymbol)
{
    const SourceTypeBadge badge(SourceType::Podcast, true);
    const QImage image = render(badge);
    const QColor accent = accentColor(SourceType::Podcast);
    // Inside the background, away from the symbol: accent at 15 %.
    const QColor corner = QColor::fromRgba(image.pixel(2 + 1, 2 + 4));
    EXPECT_NEAR(corner.alpha(), 38, 2);
    // The microphone's body: opaque accent.
    const QColor body = QColor::fromRgba(image.pixel(2 + 3 + 3, 2 + 1 + 2));
    EXPECT_GT(body.alpha(), 200);
    EXPECT_NEAR(body.red(), accent.red(), 12);
    EXPECT_NEAR(body.green(), accent.green(), 12);
    EXPECT_NEAR(body.blue(), accent.blue(), 12);
    // Nothing outside the badge.
    EXPECT_EQ(qAlpha(image.pixel(2 + 14, 2 + 4)), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 1)), 0);
}

TEST(SourceSymbol, EveryKindHasASymbol)
{
    for (SourceType type : allSourceTypes()) {
        const QImage img = SourceSymbol::image(symbolName(type), 16, Qt::red, 2.0);
        ASSERT_FALSE(img.isNull()) << symbolName(type).toStdString();
        EXPECT_EQ(img.size(), QSize(32, 32));
        EXPECT_FALSE(isBlank(img)) << symbolName(type).toStdString();
    }
    EXPECT_TRUE(SourceSymbol::image(QStringLiteral("no.such.symbol"), 16, Qt::red).isNull());
}

} // namespace
