#include "ticker/MarqueeMotion.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(MarqueeMotionTest, WrapKeepsForwardPhasesInOpenRangeAndReversedInHalfOpen)
{
    struct Case {
        double x;
        double period;
        bool reversed;
        double expected;
    };
    const Case cases[] = {
        {-10, 2000, false, -10},
        {2010, 2000, false, -1990},
        {20, 2000, false, -1980},
        {0, 2000, false, 0},
        {-2000, 2000, false, 0},
        {-4010, 2000, false, -10},
        {-10, 2000, true, 1990},
        {2010, 2000, true, 10},
        {0, 2000, true, 0},
        {2000, 2000, true, 0},
        {123, 0, false, 0},
        {123, -5, true, 0},
        {std::numeric_limits<double>::infinity(), 2000, false, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(MarqueeMotion::wrap(c.x, c.period, c.reversed), c.expected)
            << c.x << " by " << c.period << (c.reversed ? " reversed" : " forward");
}

TEST(MarqueeMotionTest, RateIsSpeedTimesSixtyNeverBelowOnePointPerSecond)
{
    const std::pair<double, double> cases[] = {
        {1.0, 60}, {0.5, 30}, {10, 600}, {0, 1}, {0.001, 1}, {-3, 1},
        {std::numeric_limits<double>::quiet_NaN(), 60}, {std::numeric_limits<double>::infinity(), 60},
    };
    for (const auto& [speed, rate] : cases) {
        MarqueeMotion m;
        m.setSpeed(0, speed);
        EXPECT_DOUBLE_EQ(m.pointsPerSecond(), rate) << speed;
    }
}

TEST(MarqueeMotionTest, AnchoredPhaseDoesNotDriftOverLongRuns)
{
    MarqueeMotion m;
    m.setPeriod(2000);
    m.start(0, 0);
    // A full day at 60 points per second is a whole number of periods (2,000
    // divides 5,184,000): the row is back at 0 exactly.
    EXPECT_DOUBLE_EQ(m.phaseAt(86400), 0);
    EXPECT_DOUBLE_EQ(m.phaseAt(86400 + 0.5), -30);
    m.freeze(86400 + 0.5);
    EXPECT_FALSE(m.isRunning());
    EXPECT_DOUBLE_EQ(m.phaseAt(99999), -30);
}

TEST(MarqueeMotionTest, SpeedChangeContinuesFromThePhaseOnScreen)
{
    MarqueeMotion m;
    m.setPeriod(2000);
    m.start(10, 0);
    EXPECT_DOUBLE_EQ(m.phaseAt(11), -60);
    m.setSpeed(11, 2);
    EXPECT_DOUBLE_EQ(m.phaseAt(11), -60);
    EXPECT_DOUBLE_EQ(m.phaseAt(12), -180);

    MarqueeMotion paused;
    paused.setPeriod(2000);
    paused.setModelTx(-5);
    paused.setSpeed(0, 3);
    EXPECT_FALSE(paused.isRunning());
    EXPECT_DOUBLE_EQ(paused.phaseAt(100), -5);
}

TEST(MarqueeMotionTest, ReversedRowMovesRightWithinItsRange)
{
    MarqueeMotion m;
    m.setPeriod(2000);
    m.setReversed(true);
    m.start(0, -10);
    EXPECT_DOUBLE_EQ(m.modelTx(), 1990);
    EXPECT_DOUBLE_EQ(m.phaseAt(0.5), 20);  // 1990 + 30 wraps past the period
}

} // namespace
