#include "platform/Clock.h"

#include "Await.h"
#include "FakeTime.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

QCoro::Task<void> sleeper(Scheduler& s, std::chrono::milliseconds d, std::stop_token t, std::optional<bool>* out)
{
    *out = co_await s.sleep(d, t);
}

TEST(FakeTime, SleepResolvesWhenTimeIsAdvanced)
{
    FakeTime time;
    std::optional<bool> result;
    auto task = sleeper(time, std::chrono::seconds(300), {}, &result);
    time.advance(std::chrono::seconds(299));
    EXPECT_FALSE(result.has_value());
    time.advance(std::chrono::seconds(1));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
}

TEST(FakeTime, StopEndsTheSleepWithFalseAndCancelsTheTimer)
{
    FakeTime time;
    std::stop_source stop;
    std::optional<bool> result;
    auto task = sleeper(time, std::chrono::seconds(300), stop.get_token(), &result);
    stop.request_stop();
    EXPECT_FALSE(result.has_value()) << "a stop must not resume inside request_stop()";
    FakeTime::settle();
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
    EXPECT_EQ(time.pendingCount(), 0);
}

TEST(FakeTime, AlreadyStoppedTokenReturnsAtOnce)
{
    FakeTime time;
    std::stop_source stop;
    stop.request_stop();
    std::optional<bool> result;
    auto task = sleeper(time, std::chrono::seconds(1), stop.get_token(), &result);
    ASSERT_TRUE(result.has_value());
    EXPECT_FALSE(*result);
}

TEST(FakeTime, CallbacksRunInDueOrderIncludingOnesScheduledOnTheWay)
{
    FakeTime time;
    QStringList order;
    time.schedule(std::chrono::seconds(3), [&] { order << QStringLiteral("c"); });
    time.schedule(std::chrono::seconds(1), [&] {
        order << QStringLiteral("a");
        time.schedule(std::chrono::seconds(1), [&] { order << QStringLiteral("b"); });
    });
    auto dropped = time.schedule(std::chrono::seconds(2), [&] { order << QStringLiteral("x"); });
    time.cancel(dropped);
    const QDateTime start = time.now();
    time.advance(std::chrono::seconds(5));
    EXPECT_EQ(order, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    EXPECT_EQ(start.secsTo(time.now()), 5);
}

TEST(SingleShot, StartReplacesAndCancelDrops)
{
    FakeTime time;
    int fired = 0;
    {
        SingleShot shot(time);
        shot.start(std::chrono::milliseconds(300), [&] { fired += 1; });
        time.advance(std::chrono::milliseconds(200));
        shot.start(std::chrono::milliseconds(300), [&] { fired += 10; });  // debounce
        time.advance(std::chrono::milliseconds(200));
        EXPECT_EQ(fired, 0);
        time.advance(std::chrono::milliseconds(100));
        EXPECT_EQ(fired, 10);
        EXPECT_FALSE(shot.isActive());
        shot.start(std::chrono::milliseconds(100), [&] { fired += 100; });
        shot.cancel();
        time.advance(std::chrono::seconds(1));
        EXPECT_EQ(fired, 10);
        shot.start(std::chrono::milliseconds(100), [&] { fired += 1000; });
    }  // destroyed while pending
    time.advance(std::chrono::seconds(1));
    EXPECT_EQ(fired, 10);
}

TEST(TimerScheduler, RealSleepElapses)
{
    auto result = awaitTask(Scheduler::system().sleep(std::chrono::milliseconds(5), {}));
    ASSERT_TRUE(result.has_value());
    EXPECT_TRUE(*result);
}

} // namespace
