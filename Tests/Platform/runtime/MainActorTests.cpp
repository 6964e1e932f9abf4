#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/MainActor.h"
#include "runtime/Task.h"

using namespace platform;
using namespace std::chrono_literals;

TEST(MainActor, PostedWorkRunsLaterOnTheMainThreadInOrder) {
    std::vector<int> order;
    postToMain([&] { order.push_back(1); });
    postToMain([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty()) << "posting from the main thread must not run the work inline";
    ASSERT_TRUE(processMainEventsUntil([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(MainActor, BackgroundTaskHopsBackToTheMainThreadToPublish) {
    std::atomic<bool> ranOffMain{false};
    bool publishedOnMain = false;
    bool done = false;
    auto task = detachTask(TaskPriority::utility, [&] {
        ranOffMain = !isOnMainActor();
        postToMain([&] {
            publishedOnMain = isOnMainActor();
            done = true;
        });
    });
    ASSERT_TRUE(processMainEventsUntil([&] { return done; }));
    task.wait();
    EXPECT_TRUE(task.isFinished());
    EXPECT_TRUE(ranOffMain);
    EXPECT_TRUE(publishedOnMain);
}

TEST(MainActor, DelayedWorkRunsUnlessCancelled) {
    bool ran = false;
    bool cancelledRan = false;
    auto cancelled = postToMainAfter(0.02s, [&] { cancelledRan = true; });
    cancelled.cancel();
    EXPECT_TRUE(cancelled.isCancelled());
    postToMainAfter(0.05s, [&] { ran = true; });
    ASSERT_TRUE(processMainEventsUntil([&] { return ran; }));
    EXPECT_FALSE(cancelledRan);
}

TEST(MainActor, MainThreadKeepsServingWhileATaskBlocks) {
    std::atomic<bool> release{false};
    auto task = detachTask(TaskPriority::utility, [&] {
        while (!release) std::this_thread::sleep_for(1ms);
    });
    int served = 0;
    for (int i = 0; i < 3; ++i) postToMain([&] { ++served; });
    ASSERT_TRUE(processMainEventsUntil([&] { return served == 3; }));
    EXPECT_FALSE(task.isFinished());
    release = true;
    task.wait();
}

TEST(MainActor, ExceptionInATaskDoesNotEscape) {
    auto task = detachTask(TaskPriority::background, [] { throw std::runtime_error("boom"); });
    task.wait();
    EXPECT_TRUE(task.isFinished());
}
