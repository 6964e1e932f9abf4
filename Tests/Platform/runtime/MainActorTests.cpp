#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/MainActor.h"
#include "runtime/Task.h"
#include "runtime/Timer.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(MainActor, PostedWorkRunsLaterOnTheMainThreadInOrderUnlessCancelled) {
    std::vector<int> order;
    bool cancelledRan = false;
    auto cancelled = postToMainAfter(0.02s, [&] { cancelledRan = true; });
    cancelled.cancel();
    EXPECT_TRUE(cancelled.isCancelled());
    postToMain([&] { order.push_back(1); });
    postToMain([&] { order.push_back(2); });
    postToMainAfter(0.05s, [&] { order.push_back(3); });
    EXPECT_TRUE(order.empty()) << "posting from the main thread must not run the work inline";
    ASSERT_TRUE(processMainEventsUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(cancelledRan);
}

TEST(MainActor, ABackgroundTaskHopsBackToPublishWhileTheMainThreadKeepsServing) {
    std::atomic<bool> ranOffMain{false}, release{false};
    bool publishedOnMain = false;
    auto task = detachTask(TaskPriority::utility, [&] {
        ranOffMain = !isOnMainActor();
        postToMain([&] { publishedOnMain = isOnMainActor(); });
        while (!release) std::this_thread::sleep_for(1ms);
    });
    ASSERT_TRUE(processMainEventsUntil([&] { return publishedOnMain; })) << "served while the task blocks";
    EXPECT_FALSE(task.isFinished());
    release = true;
    task.wait();
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(ranOffMain);

    auto throwing = detachTask(TaskPriority::background, [] { throw std::runtime_error("boom"); });
    throwing.wait();
    EXPECT_TRUE(throwing.isFinished()) << "an exception in a task does not escape";
}

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
