#include "BoardHarness.h"
#include "ambient/IdleScreensaver.h"
#include "platform/IdleSource.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class IdleScreensaverTest : public ::testing::Test {
protected:
    BoardHarness board;
    FakeIdleSource source;
    IdleScreensaver watcher{source, board.time};
};

TEST_F(IdleScreensaverTest, ChecksTheIdleTimeEveryTwoSecondsOnceStarted)
{
    source.setIdleSeconds(5.0);
    board.time.advanceSeconds(10);
    EXPECT_EQ(watcher.checks(), 0) << "nothing runs before start()";
    EXPECT_FALSE(watcher.isRunning());

    watcher.start(*board.store);
    EXPECT_TRUE(watcher.isRunning());
    EXPECT_EQ(source.starts, 1);
    EXPECT_EQ(watcher.store(), board.store.get());
    board.time.advanceSeconds(1.999);
    EXPECT_EQ(watcher.checks(), 0);
    EXPECT_FALSE(watcher.idleSeconds().has_value());
    board.time.advanceSeconds(0.001);
    EXPECT_EQ(watcher.checks(), 1);
    EXPECT_EQ(watcher.idleSeconds(), std::optional<double>(5.0));

    source.setIdleSeconds(0.5);  // the user came back
    board.time.advanceSeconds(8);
    EXPECT_EQ(watcher.checks(), 5);
    EXPECT_EQ(watcher.idleSeconds(), std::optional<double>(0.5));

    source.setIdleSeconds(std::nullopt);  // a display that cannot tell
    board.time.advanceSeconds(2);
    EXPECT_FALSE(watcher.idleSeconds().has_value());
}

TEST_F(IdleScreensaverTest, ASecondStartKeepsOneTimerAndTakesTheNewStore)
{
    BoardHarness other;
    watcher.start(*board.store);
    watcher.start(*other.store);
    EXPECT_EQ(source.starts, 1);
    EXPECT_EQ(watcher.store(), other.store.get());
    board.time.advanceSeconds(20);
    EXPECT_EQ(watcher.checks(), 10) << "one check every 2 s, not two";
    EXPECT_EQ(board.time.pendingCount(), 1);

    other.store.reset();
    EXPECT_EQ(watcher.store(), nullptr) << "the store is held weakly";
    board.time.advanceSeconds(2);
    EXPECT_EQ(watcher.checks(), 11);
}

TEST_F(IdleScreensaverTest, FollowsScreensaverAndLockSignals)
{
    QSignalSpy changes(&watcher, &IdleScreensaver::idleStateChanged);
    source.setScreensaver(true);
    EXPECT_FALSE(watcher.isScreensaverActive()) << "signals count only once started";
    watcher.start(*board.store);

    struct Step {
        bool screensaver;
        bool locked;
        bool announced;
    };
    const Step steps[] = {
        {true, false, true}, {true, false, false}, {true, true, true},
        {false, true, true}, {false, false, true}, {false, false, false},
    };
    for (const auto& step : steps) {
        const int before = int(changes.count());
        source.setScreensaver(step.screensaver);
        source.setLocked(step.locked);
        EXPECT_EQ(watcher.isScreensaverActive(), step.screensaver);
        EXPECT_EQ(watcher.isScreenLocked(), step.locked);
        EXPECT_EQ(changes.count() > before, step.announced);
    }
}

TEST_F(IdleScreensaverTest, StopEndsTheChecksAndTheSignals)
{
    watcher.start(*board.store);
    board.time.advanceSeconds(4);
    watcher.stop();
    EXPECT_FALSE(watcher.isRunning());
    board.time.advanceSeconds(10);
    EXPECT_EQ(watcher.checks(), 2);
    source.setLocked(true);
    EXPECT_FALSE(watcher.isScreenLocked());
    EXPECT_EQ(board.time.pendingCount(), 0);

    watcher.start(*board.store);  // and it can start again
    board.time.advanceSeconds(2);
    EXPECT_EQ(watcher.checks(), 3);
}

} // namespace

namespace {

TEST(SystemIdleSource, CannotTellWithoutAnXDisplay)
{
    if (QGuiApplication::platformName() == QStringLiteral("xcb"))
        GTEST_SKIP() << "runs on the offscreen platform";
    auto source = IdleSource::createSystem();
    source->start();  // no screensaver or login service to follow: quietly nothing
    EXPECT_FALSE(source->idleSeconds().has_value());
}

} // namespace
