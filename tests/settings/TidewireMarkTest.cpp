#include "settings/TidewireMark.h"
#include "settings/TidewireMarkHalo.h"

#include <QAccessible>

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

struct MarkCase {
    qreal height;
    qreal width;
};

TEST(TidewireMark, GeometryScalesFromTheDesignCanvas)
{
    for (const MarkCase& c : QList<MarkCase>{{148, 720}, {14, 68.108}, {10, 48.649}, {20, 97.297}}) {
        SCOPED_TRACE(c.height);
        const auto g = TidewireMark::geometry(c.height);
        const qreal s = c.height / 148;
        EXPECT_NEAR(g.size.width(), c.width, 0.001);
        EXPECT_DOUBLE_EQ(g.size.height(), c.height);
        // The bar spans the canvas width along its lower part; the dot sits on it.
        EXPECT_DOUBLE_EQ(g.bar.top(), 52 * s);
        EXPECT_DOUBLE_EQ(g.bar.bottom(), c.height);
        EXPECT_NEAR(g.bar.width(), c.width, 0.001);
        EXPECT_DOUBLE_EQ(g.dot.left(), 201 * s);
        EXPECT_DOUBLE_EQ(g.dot.width(), 96 * s);
        EXPECT_DOUBLE_EQ(g.dot.height(), 96 * s);
        EXPECT_DOUBLE_EQ(g.haloWidth, 8 * s);

        // The halo arches over the dot: it covers the dot's width and stays
        // entirely above the dot's top.
        const QRectF arch = g.halo.boundingRect();
        EXPECT_NEAR(arch.left(), 176 * s, 1e-9);
        EXPECT_NEAR(arch.right(), 326 * s, 1e-9);
        EXPECT_LT(arch.left(), g.dot.left());
        EXPECT_GT(arch.right(), g.dot.right());
        EXPECT_LT(arch.bottom(), g.dot.top());
        EXPECT_NEAR(arch.top(), 4 * s, 0.01 * s);
    }
}

TEST(TidewireMarkHalo, OpenArchThatIgnoresTheRectangleOrigin)
{
    const QPainterPath path = TidewireMarkHalo::path(QRectF(300, 500, 720, 148));
    EXPECT_EQ(path.elementCount(), 7);  // move + two cubics of three points each
    EXPECT_EQ(path.elementAt(0).type, QPainterPath::MoveToElement);
    EXPECT_DOUBLE_EQ(path.elementAt(0).x, 176);
    EXPECT_DOUBLE_EQ(path.elementAt(0).y, 44.03);
    EXPECT_DOUBLE_EQ(path.elementAt(6).x, 326);
    EXPECT_DOUBLE_EQ(path.elementAt(6).y, 44.03);
    // The second curve's last control point differs from the first's mirror.
    EXPECT_DOUBLE_EQ(path.elementAt(1).y, 19.73);
    EXPECT_DOUBLE_EQ(path.elementAt(5).y, 19.72);
}

TEST(TidewireMark, PaintsBarDotAndTranslucentHalo)
{
    QImage image(720, 148, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        TidewireMark::paint(painter, QPointF(0, 0), 148, QColor(233, 235, 239), QColor(74, 125, 255));
    }
    EXPECT_EQ(image.pixelColor(600, 100), QColor(233, 235, 239)) << "bar";
    EXPECT_EQ(image.pixelColor(249, 100), QColor(74, 125, 255)) << "dot";
    const QColor apex = image.pixelColor(251, 4);
    EXPECT_NEAR(apex.alphaF(), 0.6, 0.02) << "halo at 60 % of the signal colour";
    EXPECT_EQ(image.pixelColor(251, 30).alpha(), 0) << "gap between halo and dot";
    EXPECT_EQ(image.pixelColor(100, 20).alpha(), 0) << "above the bar, away from the halo";
}

TEST(TidewireMark, WidgetIsSizedByItsHeightAndHiddenFromAssistiveTechnology)
{
    QWidget window;
    auto* mark = new TidewireMark(14, Qt::white, Qt::blue, &window);
    window.show();
    EXPECT_EQ(mark->size(), QSize(69, 14));
    EXPECT_DOUBLE_EQ(mark->markOpacity(), 1.0);

    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(mark);
    ASSERT_TRUE(accessible);
    EXPECT_EQ(accessible->role(), QAccessible::NoRole);
    EXPECT_TRUE(accessible->state().invisible) << "shown on screen, yet not there for a screen reader";
    EXPECT_TRUE(accessible->text(QAccessible::Name).isEmpty());
}

} // namespace
