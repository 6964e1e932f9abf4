#include "WorkPool.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

using namespace tidewell::engine;

TEST(WorkPool, RunsEveryTaskIncludingThosePushedByTasks) {
    // A complete tree of depth 10 and fan-out 3 pushed from within the tasks.
    struct Node {
        int depth;
    };
    for (unsigned threads : {1u, 4u, 16u}) {
        WorkPool<Node> pool(threads);
        std::atomic<long> visited{0};
        std::mutex m;
        std::set<unsigned> workers;
        pool.run({Node{0}, Node{0}}, [&](Node&& n, WorkPool<Node>::Worker& w) {
            visited.fetch_add(1);
            {
                std::lock_guard lock(m);
                workers.insert(w.index());
            }
            if (n.depth < 9)
                for (int i = 0; i < 3; ++i) w.push(Node{n.depth + 1});
        });
        long expected = 0;
        for (long level = 1, i = 0; i < 10; ++i, level *= 3) expected += level;
        EXPECT_EQ(visited.load(), 2 * expected) << threads;
        for (unsigned w : workers) EXPECT_LT(w, threads);
    }
}

// A task that throws, on the caller's thread or a worker's, ends the run:
// the tasks left are dropped, every worker is joined, and the caller gets
// the exception; the pool then runs again.
TEST(WorkPool, ATaskThatThrowsEndsTheRunWithEveryWorkerJoined) {
    struct Node {
        int depth;
    };
    for (unsigned threads : {1u, 4u, 16u}) {
        WorkPool<Node> pool(threads);
        const auto tree = [](Node&& n, WorkPool<Node>::Worker& w) {
            if (n.depth == 6) throw std::runtime_error("cannot go on");
            for (int i = 0; i < 3; ++i) w.push(Node{n.depth + 1});
        };
        EXPECT_THROW(pool.run({Node{0}, Node{0}, Node{0}}, tree), std::runtime_error) << threads;
        std::atomic<int> visited{0};
        pool.run({Node{0}}, [&](Node&&, WorkPool<Node>::Worker&) { visited.fetch_add(1); });
        EXPECT_EQ(visited.load(), 1) << threads;
    }
}
