// Where the strip goes in device pixels at every scale: Qt shows a screen
// only by its rounded logical size and moves and sizes windows in logical
// pixels, so at a fractional scale the obvious logical frame can end a
// pixel past the screen.
#include "platform/x11/DevicePixels.h"

#include <gtest/gtest.h>

namespace {

struct Layout {
    const char* name;
    QList<QRect> screens;  // device pixels
    QSize root;
};

// A screen as Qt shows it: the same origin, the size scaled and rounded.
QRect logicalOf(const QRect& native, qreal ratio)
{
    return QRect(native.topLeft(), native.size() * (1.0 / ratio));
}

TEST(DevicePixels, TheStripLiesWithinItsScreenAndFillsItsEdgeAtEveryScale)
{
    const QList<Layout> layouts = {
        {"1920x1080 alone", {{0, 0, 1920, 1080}}, {1920, 1080}},
        {"2560x1440 alone", {{0, 0, 2560, 1440}}, {2560, 1440}},
        {"1920x1080 left of 2560x1440", {{0, 0, 1920, 1080}, {1920, 0, 2560, 1440}}, {4480, 1440}},
    };
    for (const qreal ratio : {1.0, 1.25, 1.33, 1.5, 1.75, 2.0}) {
        for (const Layout& layout : layouts) {
            for (const QRect& native : layout.screens) {
                SCOPED_TRACE(testing::Message() << layout.name << " at " << ratio << ", screen at " << native.x());
                const QRect logical = logicalOf(native, ratio);
                const ScreenScale scale{native.topLeft(), ratio};
                QList<QRect> others;
                for (const QRect& other : layout.screens) {
                    if (other != native)
                        others.append(ScreenScale{other.topLeft(), ratio}.toNative(logicalOf(other, ratio)));
                }
                const QPoint limit = screenLimit(scale.toNative(logical), others, layout.root);
                EXPECT_EQ(scale.nativeScreen(logical, limit), native);

                // The whole screen, under a top panel, beside a left one above a bottom one.
                for (const QRect& free : {native, native.adjusted(0, 30, 0, 0), native.adjusted(101, 0, 0, -41)}) {
                    for (const bool bottom : {false, true}) {
                        const QRect frame = scale.edgeStrip(free, 72, bottom);
                        const QRect pixels = scale.toNative(frame);
                        EXPECT_EQ(frame.height(), 72);
                        EXPECT_TRUE(free.contains(pixels))
                            << "free " << free.x() << "," << free.y() << " " << free.width() << "x" << free.height()
                            << ", strip " << pixels.x() << "," << pixels.y() << " " << pixels.width() << "x"
                            << pixels.height() << (bottom ? " at the bottom" : " at the top");
                        // No more than the one pixel the scale may force is left uncovered.
                        EXPECT_LE(pixels.left() - free.left(), 1);
                        EXPECT_LE(free.right() - pixels.right(), 1);
                        EXPECT_LE(bottom ? free.bottom() - pixels.bottom() : pixels.top() - free.top(), 1);
                    }
                }
            }
        }
    }
}

TEST(DevicePixels, AtAWholeScaleTheStripIsExactlyTheFreeEdge)
{
    const QRect free(1920, 30, 1280, 994);
    EXPECT_EQ((ScreenScale{{1920, 0}, 1.0}.edgeStrip(free, 72, false)), QRect(1920, 30, 1280, 72));
    EXPECT_EQ((ScreenScale{{1920, 0}, 1.0}.edgeStrip(free, 72, true)), QRect(1920, 952, 1280, 72));
    // Twice the pixels: the logical frame keeps the origin and halves the rest.
    EXPECT_EQ((ScreenScale{{1920, 0}, 2.0}.edgeStrip(free, 36, true)), QRect(1920, 476, 640, 36));
    EXPECT_EQ((ScreenScale{{1920, 0}, 2.0}.toNative({1920, 476, 640, 36})), QRect(1920, 952, 1280, 72));
}

} // namespace
