// The scroller's pause under a real X11 pointer (Xvfb): the pointer's
// position over the strip decides, also while it rests on a widget laid over
// the strip.
#include "../FakeCell.h"
#include "../TickerTestUtil.h"
#include "XvfbDisplay.h"
#include "ticker/MarqueeNSView.h"

#include <QCursor>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// Moves the real pointer and waits until `done` holds; false when it never
// does (generous: pointer events can take seconds on a loaded machine).
bool moveTo(QPoint global, const std::function<bool()>& done)
{
    QCursor::setPos(global);
    return runUntil(done, 30000);
}

TEST(MarqueeHoverWindowTest, RealPointerPausesAndWidgetsOverTheStripDoNotLatch)
{
    TIDEWIRE_REQUIRE_XVFB();
    QWidget window;
    window.setGeometry(100, 100, 800, 140);
    auto* view = new MarqueeNSView(&window);
    view->setGeometry(0, 0, 800, 72);
    auto* overlay = new QWidget(&window);
    overlay->setGeometry(0, 0, 150, 72);
    overlay->setAutoFillBackground(true);
    overlay->raise();
    auto log = std::make_shared<FakeCellLog>();
    QCursor::setPos(QPoint(5, 5));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    view->updateContent(fakeContent({"a", "b", "c", "d", "e", "f"}, log, 220, 40), 2, false, 1);
    ASSERT_TRUE(view->isRunning());

    ASSERT_TRUE(moveTo(view->mapToGlobal(QPoint(400, 36)), [&] { return view->isHovering(); }));
    EXPECT_FALSE(view->isRunning());
    EXPECT_FALSE(view->isFrameTimerActive());

    // Onto the overlay: still over the strip's rectangle. The strip has
    // handled the pointer leaving it for the overlay once the overlay has it.
    ASSERT_TRUE(moveTo(overlay->mapToGlobal(QPoint(60, 30)), [&] { return overlay->underMouse(); }));
    EXPECT_TRUE(view->isHovering());
    // From the overlay to the window below the strip: resumes.
    ASSERT_TRUE(moveTo(window.mapToGlobal(QPoint(60, 120)), [&] { return !view->isHovering(); }));
    EXPECT_TRUE(view->isRunning());

    // Back over the overlay, then straight out of the window.
    ASSERT_TRUE(moveTo(view->mapToGlobal(QPoint(300, 36)), [&] { return view->isHovering(); }));
    ASSERT_TRUE(moveTo(overlay->mapToGlobal(QPoint(20, 20)), [&] { return overlay->underMouse(); }));
    EXPECT_TRUE(view->isHovering());
    ASSERT_TRUE(moveTo(QPoint(5, 5), [&] { return !view->isHovering(); }));
    EXPECT_TRUE(view->isRunning());
}

} // namespace
