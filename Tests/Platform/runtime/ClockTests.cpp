#include <limits>

#include <gtest/gtest.h>

#include "runtime/Clock.h"

using namespace platform;

TEST(Clock, InjectedClockReplacesAndRestoresTheSystemClock) {
    ManualClock manual(fromUnixSeconds(1000));
    setClockForTesting(&manual);
    EXPECT_EQ(secondsSince1970(now()), 1000.0);
    manual.advance(std::chrono::seconds(90));
    EXPECT_EQ(secondsSince1970(now()), 1090.0);
    setClockForTesting(nullptr);
    EXPECT_GT(secondsSince1970(now()), 1.6e9);
}

TEST(Clock, UnixSecondsAtTheEndsOfTheRangeClampInsteadOfOverflowing) {
    const auto far = fromUnixSeconds(std::numeric_limits<std::int64_t>::max());
    const auto past = fromUnixSeconds(std::numeric_limits<std::int64_t>::min());
    EXPECT_GT(secondsSince1970(far), 9e9);
    EXPECT_LT(secondsSince1970(past), -9e9);
}
