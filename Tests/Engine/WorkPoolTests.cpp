#include "WorkPool.h"

#include <gtest/gtest.h>

#include <set>

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
