#include "foundation/Log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

using platform::format;

TEST(Format, ObjectAndIntegerConversions) {
    EXPECT_EQ(format("Tidewell engine start %@ %@", "/bin/e", std::string("scan --json")),
              "Tidewell engine start /bin/e scan --json");
    EXPECT_EQ(format("%@ / %@ / %@", 42, std::uint64_t{18446744073709551615ull}, std::int64_t{-7}),
              "42 / 18446744073709551615 / -7");
    EXPECT_EQ(format("%@ %@ %@", 1.5, 0.1, 3.0), "1.5 0.1 3");
    EXPECT_EQ(format("[%@]", std::string_view("")), "[]");
    EXPECT_EQ(format("%@/%@", true, false), "true/false");
    EXPECT_EQ(format("%d %ld %lld %i", 1, -2L, 3LL, 4), "1 -2 3 4");
    EXPECT_EQ(format("%u %lu %llu", 5u, 6ul, std::uint64_t{1} << 63), "5 6 9223372036854775808");
    EXPECT_EQ(format("%d:%02d", 3, 7), "3:07");
    EXPECT_EQ(format("%02d", 123), "123");
    EXPECT_EQ(format("%5d|%-5d|", 42, 42), "   42|42   |");
    EXPECT_EQ(format("%x", 255), "ff");
    EXPECT_EQ(format("Tidewell engine stderr:\n%@", "line 1\nline 2"), "Tidewell engine stderr:\nline 1\nline 2");
}

TEST(Format, FloatingPointPrecision) {
    EXPECT_EQ(format("Tidewell engine timeout after %.0fs — terminating", 1800.0),
              "Tidewell engine timeout after 1800s — terminating");
    EXPECT_EQ(format("%.0f", 0.4), "0");
    EXPECT_EQ(format("%.1f", 2.25), "2.2");  // printf rounds to even on the binary value
    EXPECT_EQ(format("%f", 1.5), "1.500000");
    EXPECT_EQ(format("%.2f", 3), "3.00");  // an integer given to %f is widened
}

TEST(Format, PercentTextAndOddInput) {
    EXPECT_EQ(format("100%% done"), "100% done");
    EXPECT_EQ(format("%s and %s", "a", std::string("b")), "a and b");
    EXPECT_EQ(format("%d items", "many"), "many items");  // a text keeps its words
    EXPECT_EQ(format("%@ then %@", "one"), "one then ");  // a missing argument writes nothing
    EXPECT_EQ(format("ends with %"), "ends with %");
    EXPECT_EQ(format("%q?"), "%q?");  // unknown conversion kept as written
    EXPECT_EQ(format("%y %@", "x"), "%y x");
}

TEST(LogCapture, KeepsLinesWhileAliveAndOnlyThenFromEveryThread) {
    platform::log("Tidewell before %@", 1);
    std::vector<std::string> outer;
    {
        platform::LogCapture capture;
        platform::log("Tidewell inside %@", 2);
        {
            platform::LogCapture nested;
            platform::log("Tidewell nested");
            EXPECT_EQ(nested.lines(), std::vector<std::string>{"Tidewell nested"});
        }
        outer = capture.lines();
        EXPECT_TRUE(capture.contains("Tidewell inside 2"));
        EXPECT_EQ(capture.linesStartingWith("Tidewell n").size(), 1u);
        capture.clear();
        EXPECT_TRUE(capture.lines().empty());
    }
    platform::log("Tidewell after");
    EXPECT_EQ(outer, (std::vector<std::string>{"Tidewell inside 2", "Tidewell nested"}));

    platform::LogCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 250; ++i) platform::log("Tidewell thread %d line %d", t, i);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(capture.lines().size(), 2000u);
    EXPECT_TRUE(capture.contains("Tidewell thread 7 line 249"));
}
