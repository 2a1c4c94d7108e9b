// The scroller's frames on a real X server (Xvfb): a row on an opaque
// background is moved in place frame after frame, and what reaches the
// screen must stay exactly what a fresh paint of the window shows, also
// under the widgets laid over the row.
#include "../ManualAnimationDriver.h"
#include "../TickerTestUtil.h"
#include "FakeTime.h"
#include "ticker/MarqueeClock.h"
#include "XvfbDisplay.h"
#include "ticker/MarqueeNSView.h"
#include "ticker/PaintedOverlay.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using namespace std::chrono_literals;

namespace {

// A cell whose every pixel column has its own colour: a row moved by one
// pixel too many or too few differs from a fresh paint everywhere.
class StripedCell final : public MarqueeCell {
public:
    StripedCell(int seed, QSizeF size) : m_seed(seed), m_size(size) {}
    QSizeF idealSize() const override { return m_size; }
    void paint(QPainter& painter, const QRectF& rect, bool) const override
    {
        for (int x = 0; x < int(rect.width()); ++x) {
            const int v = (m_seed * 53 + x * 37) % 256;
            painter.fillRect(QRectF(rect.left() + x, rect.top(), 1, rect.height() - (x % 7)),
                             QColor(v, 255 - v, (v * 3) % 256));
        }
    }
    void click() override {}
    void fillContextMenu(QMenu&) override {}

private:
    int m_seed;
    QSizeF m_size;
};

MarqueeContent stripedRow()
{
    MarqueeContent content;
    for (int i = 0; i < 8; ++i)
        content.key << QString::number(i);
    content.makeCells = [] {
        MarqueeCells cells;
        for (int i = 0; i < 8; ++i)
            cells.push_back(std::make_unique<StripedCell>(i, QSizeF(130 + 10 * i, 40)));
        return cells;
    };
    return content;
}

// Adds up the area the scroller is asked to paint.
class PaintedArea final : public QObject {
public:
    qint64 pixels = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            for (const QRect& r : static_cast<QPaintEvent*>(event)->region())
                pixels += qint64(r.width()) * r.height();
        return false;
    }
};

class Backdrop final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), QColor(20, 20, 20));
    }
};

struct Scene {
    FakeTime time;
    ClockMarqueeClock clock{time};
    Backdrop window;
    MarqueeNSView* view;

    explicit Scene(bool translucentWindow)
    {
        window.setAttribute(Qt::WA_TranslucentBackground, translucentWindow);
        window.setGeometry(50, 300, 900, 80);
        view = new MarqueeNSView(clock, &window);
        view->setGeometry(0, 0, 900, 72);
        view->setPointerSource([] { return QPoint(-1000, -1000); });
        // Laid over the row: an opaque block and a fade on the leading side,
        // a small chip on the trailing side.
        (new PaintedOverlay([](QPainter& p, const QRect& r) { paintEdgeFade(p, r, QColor(20, 20, 20)); }, &window))
            ->setGeometry(60, 0, 50, 72);
        auto* block = new QWidget(&window);  // an opaque widget of its own
        block->setGeometry(0, 0, 60, 72);
        block->setAutoFillBackground(true);
        block->setPalette(QPalette(QColor(90, 30, 30)));
        (new PaintedOverlay([](QPainter& p, const QRect& r) { p.fillRect(r, QColor(200, 200, 0, 120)); }, &window))
            ->setGeometry(820, 20, 60, 20);
    }

    // Shown and exposed, scrolling the striped row.
    void start(bool opaque)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        if (opaque)
            view->setBackground(QColor(20, 20, 20));
        view->updateContent(stripedRow(), 2, false, 1);
        settle();
    }
    // Lets every pending paint reach the server.
    void settle()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    // What the server shows against what a fresh paint of the window shows.
    int differingPixels()
    {
        settle();
        const QImage shown = window.screen()->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
        const QImage fresh = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        if (shown.size() != fresh.size())
            return -1;
        int differing = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differing += shown.pixel(x, y) != fresh.pixel(x, y);
        return differing;
    }
};

class MarqueeScrollWindowTest : public ::testing::TestWithParam<bool> {};

TEST_P(MarqueeScrollWindowTest, MovedFramesShowWhatAFreshPaintShows)
{
    TIDEWIRE_REQUIRE_XVFB();
    // Frames come only from the test: one from Qt's animation timer, late on
    // a loaded machine, would move the row between a comparison's paint and
    // its look at the screen.
    ManualAnimationDriver frames;
    Scene scene(GetParam());
    ASSERT_NO_FATAL_FAILURE(scene.start(true));
    ASSERT_EQ(scene.differingPixels(), 0) << "the first paint";

    PaintedArea painted;
    scene.view->installEventFilter(&painted);
    // Uneven frames: one, two and three pixels at a time, and a few ticks
    // that do not reach the next pixel. The clock also runs on between a
    // frame and its paint, as it does on a busy machine.
    const std::chrono::milliseconds steps[] = {17ms, 33ms, 4ms, 50ms, 16ms, 17ms, 9ms, 26ms};
    const std::chrono::milliseconds late[] = {0ms, 9ms, 3ms, 0ms, 12ms};
    for (int frame = 0; frame < 120; ++frame) {
        scene.time.advance(steps[frame % std::size(steps)]);
        scene.view->frameTick();
        scene.time.advance(late[frame % std::size(late)]);
        scene.settle();
        if (frame % 20 == 19) {
            ASSERT_EQ(scene.differingPixels(), 0) << "after frame " << frame;
        }
    }
    EXPECT_GT(scene.view->scrolledFrames(), 80) << "frames moved the painted row";
    // Moved frames paint the new edge and the columns under the fade and the
    // chip (about 0.15 of the track); repainted ones would paint the whole
    // track, 120 times. The fresh paints of the comparisons count too.
    const qint64 track = qint64(scene.view->width()) * 41;
    EXPECT_LT(painted.pixels, 40 * track) << "120 frames painted less than 40 whole tracks";

    // News that looks may have changed (none did) paints nothing again;
    // moving goes on.
    scene.view->cellsChanged();
    for (int frame = 0; frame < 10; ++frame) {
        scene.time.advance(17ms);
        scene.view->frameTick();
        scene.settle();
    }
    EXPECT_EQ(scene.differingPixels(), 0) << "after a whole repaint and more frames";
}

TEST_P(MarqueeScrollWindowTest, TranslucentRowIsRepaintedAndStaysRight)
{
    TIDEWIRE_REQUIRE_XVFB();
    ManualAnimationDriver frames;  // frames only from the test
    Scene scene(GetParam());
    ASSERT_NO_FATAL_FAILURE(scene.start(false));  // no background of its own
    for (int frame = 0; frame < 30; ++frame) {
        scene.time.advance(17ms);
        scene.view->frameTick();
        scene.settle();
    }
    EXPECT_EQ(scene.view->scrolledFrames(), 0);
    EXPECT_GT(scene.view->repaintedFrames(), 20);
    EXPECT_EQ(scene.differingPixels(), 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, MarqueeScrollWindowTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "translucent" : "opaque"; });

TEST(MarqueeExposureWindowTest, NoFramesWhileTheWindowIsUnmapped)
{
    TIDEWIRE_REQUIRE_XVFB();
    Scene scene(false);
    ASSERT_NO_FATAL_FAILURE(scene.start(true));
    ASSERT_TRUE(scene.view->isFrameTimerActive());

    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr);
    xcb_connection_t* connection = x11->connection();
    const auto id = xcb_window_t(scene.window.winId());
    xcb_unmap_window(connection, id);
    xcb_flush(connection);
    ASSERT_TRUE(runUntil([&] { return !scene.view->isFrameTimerActive(); }, 30000)) << "unmapped: frames stop";
    EXPECT_TRUE(scene.view->isVisible()) << "the widget itself was never hidden";

    xcb_map_window(connection, id);
    xcb_flush(connection);
    ASSERT_TRUE(runUntil([&] { return scene.view->isFrameTimerActive(); }, 30000)) << "mapped again: frames resume";
}

} // namespace
