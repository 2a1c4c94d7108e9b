// Timers on an injected clock and on the system scheduler.
#include "platform/base/Clock.h"
#include "Await.h"
#include "FakeTime.h"

#include <gtest/gtest.h>
#include <optional>

using namespace std::chrono_literals;

namespace {

TEST(SingleShot, StartReplacesCancelDropsAndTheSystemSchedulerReallySleeps)
{
    FakeTime time;
    int fired = 0;
    {
        SingleShot shot(time);
        shot.start(300ms, [&] { fired += 1; });
        time.advance(200ms);
        shot.start(300ms, [&] { fired += 10; });  // debounce
        time.advance(200ms);
        EXPECT_EQ(fired, 0);
        time.advance(100ms);
        EXPECT_EQ(fired, 10);
        EXPECT_FALSE(shot.isActive());
        shot.start(100ms, [&] { fired += 100; });
        shot.cancel();
        time.advance(1s);
        EXPECT_EQ(fired, 10);
        shot.start(100ms, [&] { fired += 1000; });
    }  // destroyed while pending
    time.advance(1s);
    EXPECT_EQ(fired, 10);

    EXPECT_EQ(awaitTask(Scheduler::system().sleep(5ms, {})), std::optional<bool>(true));
}

} // namespace
