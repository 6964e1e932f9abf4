#include <gtest/gtest.h>

#include "runtime/MainActor.h"
#include "runtime/Timer.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(RepeatingTimer, TicksRepeatedlyOnTheMainThreadUntilInvalidated) {
    int ticks = 0;
    bool allOnMain = true;
    RepeatingTimer timer(0.01s, 0s, [&] {
        ++ticks;
        allOnMain = allOnMain && isOnMainActor();
    });
    ASSERT_TRUE(processMainEventsUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(allOnMain);
    timer.invalidate();
    EXPECT_FALSE(timer.isValid());
    const int at = ticks;
    bool later = false;
    postToMainAfter(0.05s, [&] { later = true; });
    ASSERT_TRUE(processMainEventsUntil([&] { return later; }));
    EXPECT_EQ(ticks, at);
}
