#include "ticker/MarqueeNSView.h"
#include "ticker/CellPixmapCache.h"

#include "FakeCell.h"
#include "FakeTime.h"
#include "ManualAnimationDriver.h"
#include "LogCapture.h"
#include "ticker/MarqueeClock.h"
#include "ticker/MarqueeMotion.h"
#include "ticker/PaintedOverlay.h"

#include <QApplication>
#include <QEnterEvent>
#include <QExposeEvent>
#include <QGraphicsOpacityEffect>
#include <QImage>
#include <QLinearGradient>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QMouseEvent>
#include <QSet>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QStringList names(const QString& prefix, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << prefix + QString::number(i);
    return out;
}

// Ten cells 140 wide: one copy is 10 × 140 + 9 × 60 = 1,940, the period 2,000.
constexpr double kCellWidth = 140;
constexpr double kPeriod = 2000;

class MarqueeViewTest : public ::testing::Test {
protected:
    // Frames come only from the test (frameTick(), driver.advanceBy()): the
    // event loop the fake time runs would otherwise let Qt's animation timer,
    // late on a loaded machine, draw a frame of its own in between.
    ManualAnimationDriver driver;
    FakeTime time;
    ClockMarqueeClock clock{time};
    std::shared_ptr<FakeCellLog> log = std::make_shared<FakeCellLog>();
    QWidget window;
    MarqueeNSView* view = nullptr;
    QPoint pointer{-5000, -5000};

    void SetUp() override
    {
        window.resize(800, 100);
        view = new MarqueeNSView(clock, &window);
        view->setGeometry(0, 0, 800, 72);
        view->setPointerSource([this] { return pointer; });
        window.show();
    }
    MarqueeContent row(const QString& prefix, int count = 10, double height = 40)
    {
        return fakeContent(names(prefix, count), log, kCellWidth, height);
    }
    void show(const QString& prefix, int size = 2, bool reversed = false, double speed = 1.0)
    {
        view->updateContent(row(prefix), size, reversed, speed);
    }
    void enter(QPoint local = {300, 36})
    {
        pointer = view->mapToGlobal(local);
        QEnterEvent e(local, local, pointer);
        QApplication::sendEvent(view, &e);
    }
    // The strip gets its leave event with the pointer at `local`.
    void leaveTo(QPoint local = {300, 90})
    {
        pointer = view->mapToGlobal(local);
        QEvent e(QEvent::Leave);
        QApplication::sendEvent(view, &e);
    }
    void mouse(QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::NoButton,
               Qt::MouseButtons buttons = Qt::NoButton)
    {
        pointer = view->mapToGlobal(local);
        QMouseEvent e(type, QPointF(local), QPointF(local), QPointF(pointer), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    }
    void wheel(QPoint angle)
    {
        QWheelEvent e(QPointF(300, 36), QPointF(view->mapToGlobal(QPoint(300, 36))), QPoint(), angle, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &e);
    }
    QPoint centreOf(int copy, int index) const { return view->cellRect(copy, index).center().toPoint(); }
};

TEST_F(MarqueeViewTest, LaysOutOneCopyMeasuresThePeriodAndAppliesAnEqualUpdateInPlace)
{
    show("a");
    EXPECT_DOUBLE_EQ(view->stripWidth(), 1940);
    EXPECT_DOUBLE_EQ(view->period(), kPeriod);
    EXPECT_DOUBLE_EQ(view->cellRect(0, 1).left() - view->cellRect(0, 0).left(), kCellWidth + 60);
    EXPECT_DOUBLE_EQ(view->cellRect(1, 0).left() - view->cellRect(0, 0).left(), kPeriod);
    EXPECT_DOUBLE_EQ(view->cellRect(0, 0).top(), 16);  // (72 - 40) / 2
    EXPECT_EQ(view->itemKey(), names("a", 10));
    time.advance(1000ms);
    EXPECT_DOUBLE_EQ(view->phase(), -60);
    show("a", 2, false, 2.0);
    EXPECT_EQ(view->rebuildCount(), 1);
    EXPECT_DOUBLE_EQ(view->phase(), -60) << "no jump";
    time.advance(1000ms);
    EXPECT_DOUBLE_EQ(view->phase(), -180) << "the new speed applies from the phase on screen";
    show("b", 2, false, 2.0);
    EXPECT_EQ(view->rebuildCount(), 2) << "new content rebuilds from the phase on screen";
    EXPECT_DOUBLE_EQ(view->phase(), -180);
    view->updateContent(row("a", 3, 41), 2, false, 1);
    EXPECT_DOUBLE_EQ(view->cellRect(0, 0).top(), 16) << "(72 - 41) / 2 = 15.5 rounds away from zero";
}

TEST_F(MarqueeViewTest, NewContentWhileHoveringWaitsAndLeavingRebuildsFromTheFrozenPhase)
{
    show("a");
    time.advance(1000ms);
    enter();
    EXPECT_TRUE(view->isHovering());
    EXPECT_FALSE(view->isRunning());
    show("b");
    show("c");  // the last one waiting wins
    EXPECT_EQ(view->pendingKey(), names("c", 10));
    EXPECT_EQ(view->itemKey(), names("a", 10));
    time.advance(5000ms);
    EXPECT_DOUBLE_EQ(view->phase(), -60);
    leaveTo();
    EXPECT_FALSE(view->hasPendingUpdate());
    EXPECT_EQ(view->rebuildCount(), 2);
    EXPECT_EQ(view->itemKey(), names("c", 10));
    EXPECT_DOUBLE_EQ(view->phase(), -60) << "resumes where it froze, not from 0";
    time.advance(500ms);
    EXPECT_DOUBLE_EQ(view->phase(), -90);
    enter();
    show("d");
    show("c");  // the content on screen came back: nothing waits
    EXPECT_FALSE(view->hasPendingUpdate());
    leaveTo();
    EXPECT_EQ(view->rebuildCount(), 2);

    // A new size or direction while hovering rebuilds at once and drops the waiting update.
    for (const auto& [size, reversed] : {std::pair{4, false}, {2, true}}) {
        view->updateContent(row("a"), 2, false, 1);
        const int before = view->rebuildCount();
        enter();
        show("b");
        ASSERT_TRUE(view->hasPendingUpdate());
        view->updateContent(row("c"), size, reversed, 1);
        EXPECT_EQ(view->rebuildCount(), before + 1);
        EXPECT_FALSE(view->hasPendingUpdate());
        EXPECT_EQ(view->renderedSize(), size);
        EXPECT_FALSE(view->isRunning()) << "still hovering";
        leaveTo();
        EXPECT_EQ(view->rebuildCount(), before + 1) << "nothing was left waiting";
    }
}

TEST_F(MarqueeViewTest, SpeedAndDirectionSetTheMotionAndThePhaseStaysInRange)
{
    // {speed, points a second}: slow speeds move a point a second, bad ones count as one.
    const std::pair<double, double> cases[] = {
        {0.0, 1}, {0.01, 1}, {-3, 1}, {std::numeric_limits<double>::quiet_NaN(), 60},
        {std::numeric_limits<double>::infinity(), 60}, {0.5, 30}, {10, 600}};
    for (const auto& [speed, rate] : cases) {
        view->updateContent(row("s" + QString::number(rate)), 2, false, speed);
        const double start = view->phase();
        time.advance(1000ms);
        EXPECT_NEAR(start - view->phase(), rate, 1e-9) << speed;
    }
    for (const bool reversed : {false, true}) {
        show("a", 2, reversed, 1.7);
        EXPECT_DOUBLE_EQ(view->cellRect(1, 0).left() - view->cellRect(0, 0).left(), reversed ? -kPeriod : kPeriod);
        const double start = view->phase();
        time.advance(1000ms);
        // Measured round the period: a reversed row moves left to right.
        EXPECT_NEAR(std::fmod(view->phase() - start + 2 * kPeriod, kPeriod), reversed ? 102 : kPeriod - 102, 1e-9);
        for (int i = 0; i < 40; ++i) {
            time.advance(777ms);
            const double p = view->phase();
            EXPECT_TRUE(reversed ? p >= 0 && p < kPeriod : p > -kPeriod && p <= 0) << p;
        }
    }
}

TEST_F(MarqueeViewTest, APointerMovingOnTheStripWithoutAnEnterEventPausesItButOneOutsideDoesNot)
{
    show("a");
    // A drag that began on the strip and left it still sends its moves here.
    mouse(QEvent::MouseMove, {300, 90}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(view->isHovering());
    EXPECT_TRUE(view->isRunning());
    mouse(QEvent::MouseMove, {300, 36});
    EXPECT_TRUE(view->isHovering()) << "the pointer was over the strip when it appeared";
    EXPECT_FALSE(view->isRunning());
}

TEST_F(MarqueeViewTest, DragAndWheelScrubOnlyWhilePausedAndWrapPastEitherEnd)
{
    show("a");
    wheel({0, 120});
    EXPECT_DOUBLE_EQ(view->modelTx(), 0) << "ignored while running";
    enter({100, 36});
    mouse(QEvent::MouseButtonPress, {100, 36}, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, {90, 36}, Qt::NoButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->modelTx(), -10);
    mouse(QEvent::MouseMove, {120, 36}, Qt::NoButton, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(view->modelTx(), -1980) << "-10 + 30 wraps by the period of 2,000";
    mouse(QEvent::MouseButtonRelease, {120, 36}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(log->clicked.isEmpty()) << "a drag is not a click";
    // {wheel angle, place}: the larger axis wins, a tie goes to the vertical delta.
    const std::pair<QPoint, double> wheels[] = {{{0, -30}, -1990}, {{-60, 15}, -10}, {{30, 30}, 0}, {{0, 90}, -1970}};
    for (const auto& [angle, expected] : wheels) {
        wheel(angle);
        EXPECT_DOUBLE_EQ(view->modelTx(), expected) << angle.x() << "," << angle.y();
    }
    leaveTo();
    EXPECT_DOUBLE_EQ(view->phase(), -1970) << "resumes from the scrubbed phase";
    EXPECT_TRUE(view->isRunning());
}

TEST_F(MarqueeViewTest, FramesAreDrivenOnlyWhileRunningAndVisibleAndRepaintOnlyOnAWholePixel)
{
    EXPECT_FALSE(view->isFrameTimerActive());
    show("a");
    view->repaint();  // painted at phase 0
    // 60 points per second: the row sits on whole pixels, so a tick asks for
    // a paint only when the rounded place moved.
    const std::tuple<std::chrono::milliseconds, bool, const char*> steps[] = {
        {0ms, false, "nothing moved since the last paint"}, {5ms, false, "-0.3 rounds to the painted pixel"},
        {4ms, true, "-0.54 rounds to the next pixel"}, {0ms, false, "a second tick at the same moment"},
        {1ms, false, "-0.6 is on the pixel already asked for"}, {17ms, true, "-1.62: the pixel after"},
    };
    for (const auto& [advance, repaint, why] : steps) {
        time.advance(advance);
        EXPECT_EQ(view->frameTick(), repaint) << why;
    }
    enter();
    time.advance(1000ms);
    EXPECT_FALSE(view->frameTick()) << "a paused row never repaints on its own";
    wheel(QPoint(0, 120));  // 40 points while paused
    view->repaint();
    EXPECT_FALSE(view->frameTick()) << "the scrubbed place is painted already";
    const std::pair<std::function<void()>, bool> changes[] = {
        {[] {}, false}, {[&] { leaveTo(); }, true}, {[&] { window.hide(); }, false}, {[&] { window.show(); }, true},
        {[&] { view->updateContent(MarqueeContent{}, 2, false, 1); }, false},
    };
    for (const auto& [run, active] : changes) {
        run();
        EXPECT_EQ(view->isFrameTimerActive(), active);
    }
}

// A change that leaves the strip running, visible and exposed leaves its
// frames coming: the row keeps moving on screen, not only in its model.
TEST_F(MarqueeViewTest, ChangesThatLeaveTheStripRunningKeepItsFramesComing)
{
    show("a");
    FakeTime::settle();
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"the same headlines again", [&] { show("a"); }},
        {"a new speed", [&] { show("a", 2, false, 2.0); }},
        {"new headlines", [&] { show("b", 2, false, 2.0); }},
        {"a pause that ends", [&] { enter(); leaveTo(); }},
        {"a leave without a pause", [&] { leaveTo(); }},
        {"the window hidden and shown again", [&] { window.hide(); window.show(); }},
        {"an expose of the shown window",
         [&] {
             QExposeEvent expose(QRegion(window.rect()));
             QApplication::sendEvent(window.windowHandle(), &expose);
         }},
        {"a narrower strip", [&] { view->resize(700, 72); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        change();
        FakeTime::settle();
        ASSERT_TRUE(view->isRunning());
        EXPECT_TRUE(view->isFrameTimerActive());
        const int frames = view->scrolledFrames() + view->repaintedFrames();
        time.advance(100ms);
        driver.advanceBy(100);
        EXPECT_GT(view->scrolledFrames() + view->repaintedFrames(), frames) << "the next frame moves the row";
    }
}

TEST_F(MarqueeViewTest, MovableBandsLeaveOutWhatWidgetsStackedAboveCover)
{
    // The track: y 16 to 56 of 72, the whole 800 wide. Overlays: {geometry,
    // kind}: 0 above the row, 1 beneath it, 2 hidden, 3 over the row's parent.
    struct Case { const char* name; std::vector<std::pair<QRect, int>> overlays; QList<QRect> movable; };
    const Case cases[] = {
        {"nothing over the row", {}, {QRect(0, 16, 800, 41)}},
        {"a fade and a chip: only the chip's rows lose its columns",
         {{QRect(0, 0, 120, 72), 0}, {QRect(690, 4, 100, 20), 0}},
         {QRect(120, 16, 570, 8), QRect(120, 24, 680, 33)}},
        {"a caption in the leading corner and a hairline across the top",
         {{QRect(14, 10, 200, 12), 0}, {QRect(0, 16, 800, 1), 0}},
         {QRect(214, 17, 586, 5), QRect(0, 22, 800, 35)}},
        {"beneath, hidden, above the track only",
         {{QRect(0, 0, 300, 72), 1}, {QRect(0, 0, 300, 72), 2}, {QRect(0, 0, 300, 10), 0}},
         {QRect(0, 16, 800, 41)}},
        {"over the parent", {{QRect(0, 0, 200, 72), 3}}, {QRect(200, 16, 600, 41)}},
        {"two stacked chips of one width in the leading corner: one band beside both",
         {{QRect(0, 10, 100, 20), 0}, {QRect(0, 20, 100, 30), 0}},
         {QRect(100, 16, 700, 34), QRect(0, 50, 800, 7)}},
        {"covering the whole row", {{QRect(0, 0, 500, 72), 0}, {QRect(450, 0, 350, 72), 0}}, {}},
    };
    for (const Case& c : cases) {
        QWidget top;
        top.resize(800, 100);
        auto* container = new QWidget(&top);
        container->setGeometry(0, 0, 800, 72);
        std::vector<QWidget*> made;
        for (const auto& [geometry, kind] : c.overlays) {
            made.push_back(new QWidget(kind == 3 ? &top : container));
            made.back()->setGeometry(geometry);
            made.back()->setVisible(kind != 2);
        }
        auto* marquee = new MarqueeNSView(clock, container);
        marquee->setGeometry(0, 0, 800, 72);
        for (size_t i = 0; i < made.size(); ++i)
            if (c.overlays[i].second != 1)
                made[i]->raise();
        top.show();
        marquee->updateContent(row("m"), 2, false, 1);
        EXPECT_EQ(marquee->movableBands(), c.movable) << c.name;
    }
}

TEST_F(MarqueeViewTest, FramesMoveThePaintedRowOnlyOnAnOpaqueBackgroundAndAfterAWholePaint)
{
    auto* fade = new QWidget(&window);
    fade->setGeometry(0, 0, 100, 72);
    fade->show();
    show("a");
    const std::tuple<const char*, std::function<void()>, bool> cases[] = {
        {"translucent background: repaint", [this] { view->setBackground(QColor(0, 0, 0, 128)); }, false},
        {"opaque background: move", [] {}, true},
        {"a whole repaint is pending: repaint", [this] { view->setBackground(QColor(0, 0, 1)); }, false},
        {"news for cells whose look did not move: move", [this] { view->cellsChanged(); }, true},
        {"an effect draws the row: repaint", [this] { view->setGraphicsEffect(new QGraphicsOpacityEffect); }, false},
        {"the effect is switched off: move", [this] { view->graphicsEffect()->setEnabled(false); }, true},
        {"a leap wider than the track: repaint", [this] { time.advance(20s); }, false},
    };
    for (const auto& [name, setUp, moves] : cases) {
        view->setBackground(Qt::black);
        view->repaint();
        const int moved = view->scrolledFrames(), repainted = view->repaintedFrames();
        time.advance(34ms);  // two pixels at 60 points per second
        setUp();
        ASSERT_TRUE(view->frameTick()) << name;
        EXPECT_EQ(view->scrolledFrames() - moved, moves ? 1 : 0) << name;
        EXPECT_EQ(view->repaintedFrames() - repainted, moves ? 0 : 1) << name;
    }
}

TEST_F(MarqueeViewTest, ClicksAndMenusHitThePaintedCells)
{
    show("a");
    time.advance(1000ms);  // phase -60: hit-testing follows the motion
    enter();
    const QPoint third = centreOf(0, 3);
    mouse(QEvent::MouseButtonPress, third, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, third, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(log->clicked, QStringList{"a3"});
    const QPoint gap(int(view->cellRect(0, 3).right() + 30), 36);
    EXPECT_EQ(view->cellAt(gap), -1);
    EXPECT_EQ(view->cellAt(QPointF(third.x(), 5)), -1) << "above the cell";
    EXPECT_EQ(view->cellAt(QPointF(third.x(), view->cellRect(0, 3).top())), 3) << "its top row is in it";
    EXPECT_EQ(view->contextMenuAt(gap), nullptr);
    auto menu = view->contextMenuAt(centreOf(0, 2));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().first()->text(), "a2");
    // The start of the second copy shows on the right at phase -1,980.
    view->updateContent(row("a"), 2, true, 1);
    EXPECT_EQ(view->cellAt(centreOf(1, 0)), 0);
}

TEST_F(MarqueeViewTest, CellPicturesAreRenderedOnceUntilTheirLookChanges)
{
    quint64 look = 1;
    view->updateContent(fakeContent(names("p", 10), log, kCellWidth, 40, &look), 2, false, 1);
    QImage frame(800, 72, QImage::Format_ARGB32_Premultiplied);
    auto paint = [&](QImage& image) {
        image.fill(Qt::transparent);
        QPainter p(&image);
        view->paintStrip(p);
        return log->painted.join(' ');
    };
    // 800 points show cells 0 to 3 (0, 200, 400, 600).
    EXPECT_EQ(paint(frame), "p0 p1 p2 p3");
    time.advance(100ms);
    EXPECT_EQ(paint(frame), "p0 p1 p2 p3 p4") << "moving the row renders only the cell that came into view (at 794)";
    EXPECT_EQ(frame.pixelColor(400 - 6 + 10, 36), QColor(Qt::blue)) << "p2 drawn at its moved place";
    // Looks are read when the view is told they may have changed, not at every frame.
    look = 2;
    paint(frame);
    EXPECT_EQ(log->painted.size(), 5) << "an unannounced change waits";
    view->cellsChanged();
    paint(frame);
    EXPECT_EQ(log->painted.size(), 10);
    enter(centreOf(0, 1));
    mouse(QEvent::MouseMove, centreOf(0, 1));
    EXPECT_EQ(view->hoveredCell(), 1);
    log->painted.clear();
    EXPECT_EQ(paint(frame), "p1+hover");
    // Another pixel ratio draws every picture afresh, sharp for that ratio.
    log->painted.clear();
    QImage sharp(1600, 144, QImage::Format_ARGB32_Premultiplied);
    sharp.setDevicePixelRatio(2);
    EXPECT_EQ(paint(sharp), "p0 p1+hover p2 p3 p4");
}

TEST_F(MarqueeViewTest, CellPicturesHoldWhatIsOnScreenAndOneWidthAhead)
{
    // 40 cells of 200 × 40: a period of 10,400, far wider than the view.
    view->updateContent(fakeContent(names("c", 40), log, 200, 40), 2, false, 10);
    const qint64 budget = MarqueeNSView::pixmapBudget(800, 200, 40, 1.0);
    ASSERT_LT(budget, 40 * 200 * 40 * 4) << "the whole cycle would not fit";
    QImage frame(800, 72, QImage::Format_ARGB32_Premultiplied);
    qint64 most = 0;
    int shown = 0;
    // Two cycles of 600 points a second: 10,400 points in 17 1/3 s, in frames
    // of about 1/60 s (17, 17 and 16 ms); the second one counts.
    for (int i = 0; i < 2 * 1040; ++i) {
        if (i == 1040)
            log->painted.clear();
        time.advance(std::chrono::milliseconds(i % 3 == 2 ? 16 : 17));
        QPainter p(&frame);
        view->paintStrip(p);
        most = std::max(most, view->pixmapCache().bytes());
        shown = std::max(shown, view->pixmapCache().count());
    }
    EXPECT_LE(most, budget);
    EXPECT_GE(shown, 4) << "what is on screen stays cached between frames";
    EXPECT_EQ(log->painted.size(), 40) << "each cell is drawn again once per cycle, when it comes round";
    EXPECT_EQ(QSet<QString>(log->painted.cbegin(), log->painted.cend()).size(), 40);
    view->resize(1600, 72);
    EXPECT_EQ(view->pixmapCache().maxBytes(), MarqueeNSView::pixmapBudget(1600, 200, 40, 1.0)) << "a wider view keeps more";
}

TEST_F(MarqueeViewTest, EmptyOrBlankContentStaysStillALatchedPauseHealsAndEachStepIsLogged)
{
    LogCapture capture;
    QLoggingCategory::setFilterRules(QStringLiteral("tidewire.client.marquee.debug=true"));
    view->updateContent(MarqueeContent{}, 2, false, 1);
    EXPECT_EQ(view->rebuildCount(), 1);
    EXPECT_FALSE(view->isRunning());
    show("a");
    ASSERT_TRUE(view->isRunning());
    view->updateContent(fakeContent({"zero"}, log, 0, 40), 2, false, 1);
    EXPECT_EQ(view->cellCount(), 1);
    EXPECT_FALSE(view->isRunning()) << "nothing animates with a width of 0";
    EXPECT_FALSE(view->isFrameTimerActive());
    show("a");
    enter();
    show("b");
    pointer = QPoint(-5000, -5000);  // gone without an exit event
    show("b");
    QLoggingCategory::setFilterRules(QString());
    EXPECT_FALSE(view->isHovering());
    EXPECT_TRUE(view->isRunning());
    EXPECT_EQ(view->itemKey(), names("b", 10)) << "the waiting update applies first";
    enter();
    show("b");
    EXPECT_TRUE(view->isHovering()) << "a genuine pause stays";
    window.hide();
    EXPECT_FALSE(view->isHovering()) << "a hidden window cannot hold the pointer";
    for (const char* line : {"strip rebuilt EMPTY", "strip rebuilt: 10 cells, period 2000.0",
                             "strip measured 0.000000x40.000000 for 1 items — will render blank",
                             "defer rebuild while hovering: 10 items",
                             "hover latch healed (update): pointer not over strip, pending=10"})
        EXPECT_TRUE(capture.anyContains(QString::fromUtf8(line))) << line;
}

TEST(CellPixmapCacheTest, TheNewestPictureStaysEvenOverTheBound)
{
    CellPixmapCache cache(1000);
    QPixmap big(40, 40);  // 6,400 bytes
    cache.insert({0, false}, big, 1, 1.0);
    cache.insert({1, false}, big, 1, 1.0);
    EXPECT_EQ(cache.count(), 1);
    EXPECT_EQ(cache.find({0, false}, 1, 1.0), nullptr);
    EXPECT_NE(cache.find({1, false}, 1, 1.0), nullptr);
}

TEST(MarqueeMotionTest, WrapKeepsForwardPhasesInOpenRangeAndReversedInHalfOpenWithoutDrift)
{
    struct Case { double x, period; bool reversed; double expected; };
    const Case cases[] = {
        {-10, 2000, false, -10}, {2010, 2000, false, -1990}, {20, 2000, false, -1980}, {0, 2000, false, 0},
        {-2000, 2000, false, 0}, {-4010, 2000, false, -10}, {-10, 2000, true, 1990}, {2010, 2000, true, 10},
        {0, 2000, true, 0}, {2000, 2000, true, 0}, {123, 0, false, 0}, {123, -5, true, 0},
        {std::numeric_limits<double>::infinity(), 2000, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(MarqueeMotion::wrap(c.x, c.period, c.reversed), c.expected)
            << c.x << " by " << c.period << (c.reversed ? " reversed" : " forward");
    MarqueeMotion m;
    m.setPeriod(2000);
    m.start(0, 0);
    // A day at 60 points per second is a whole number of periods.
    EXPECT_DOUBLE_EQ(m.phaseAt(86400), 0);
    EXPECT_DOUBLE_EQ(m.phaseAt(86400 + 0.5), -30);
    m.freeze(86400 + 0.5);
    EXPECT_DOUBLE_EQ(m.phaseAt(99999), -30);
    MarqueeMotion paused;
    paused.setPeriod(2000);
    paused.setModelTx(-5);
    paused.setSpeed(0, 3);
    EXPECT_FALSE(paused.isRunning()) << "a speed change does not start a paused row";
    EXPECT_DOUBLE_EQ(paused.phaseAt(100), -5);
}

TEST(EdgeFadeTest, DrawsTheSameFadeWhetherCopiedOrFilled)
{
    struct Case { QRectF rect; QColor color; bool fromRight; qreal dpr; };
    const Case cases[] = {
        {QRectF(20, 0, 30, 40), Qt::black, false, 1}, {QRectF(150, 4, 40, 30), QColor(10, 20, 90), true, 1},
        {QRectF(20, 0, 30, 40), QColor(200, 40, 40), false, 2}, {QRectF(20.5, 0, 30, 40), Qt::black, false, 1},
        {QRectF(0, 0, 50, 40), QColor(255, 255, 255, 128), false, 1},
    };
    // Twice over: the second round draws from whatever the first one kept.
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            QImage drawn(QSize(200, 40) * c.dpr, QImage::Format_ARGB32_Premultiplied);
            drawn.setDevicePixelRatio(c.dpr);
            drawn.fill(QColor(10, 60, 10));
            QImage filled = drawn;
            {
                QPainter p(&drawn);
                paintEdgeFade(p, c.rect, c.color, c.fromRight);
            }
            QColor clear = c.color;
            clear.setAlphaF(0);
            QLinearGradient gradient(c.fromRight ? c.rect.topRight() : c.rect.topLeft(),
                                     c.fromRight ? c.rect.topLeft() : c.rect.topRight());
            gradient.setColorAt(0, c.color);
            gradient.setColorAt(1, clear);
            QPainter(&filled).fillRect(c.rect, gradient);
            int worst = 0;
            for (int y = 0; y < drawn.height(); ++y)
                for (int x = 0; x < drawn.width(); ++x)
                    for (int shift : {0, 8, 16, 24})
                        worst = std::max(worst, std::abs(int((drawn.pixel(x, y) >> shift) & 0xff) -
                                                         int((filled.pixel(x, y) >> shift) & 0xff)));
            EXPECT_LE(worst, 1) << c.rect.x() << "," << c.rect.width() << " round " << round;
        }
    }
}

} // namespace
