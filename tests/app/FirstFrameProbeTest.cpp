#include "app/FirstFrameProbe.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(FirstFrameProbe, FiresOnceAfterTheFirstPaintOnly)
{
    QWidget widget;
    widget.resize(100, 20);
    int fired = 0;
    FirstFrameProbe::watch(&widget, [&] { ++fired; });
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0) << "not shown, not painted";

    widget.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired == 1; }, 2000));
    widget.repaint();
    widget.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(widget.findChild<FirstFrameProbe*>(), nullptr) << "the probe removes itself";
}

TEST(FirstFrameProbe, WidgetGoneBeforePaintingIsHarmless)
{
    int fired = 0;
    {
        auto widget = std::make_unique<QWidget>();
        FirstFrameProbe::watch(widget.get(), [&] { ++fired; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0);
}

} // namespace
