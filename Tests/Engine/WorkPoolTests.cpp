#include "WorkPool.h"

#include "AsOrdinaryUser.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <new>
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

// Where no thread can be started (a limit on the user's processes), the
// workers running, at least the caller, do every task, also those meant for
// the workers the run itself starts.
TEST(WorkPool, ThreadsThatCannotStartLeaveTheirTasksToTheWorkersRunning) {
    struct Node {
        int depth;
    };
    const int status = testsupport::asOrdinaryUser([] {
        const struct rlimit one {1, 1};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return false;
        for (unsigned threads : {4u, 16u}) {
            WorkPool<Node> pool(threads);
            std::atomic<long> visited{0};
            try {
                pool.run({Node{0}, Node{0}, Node{0}}, [&](Node&& n, WorkPool<Node>::Worker& w) {
                    visited.fetch_add(1);
                    if (n.depth < 6)
                        for (int i = 0; i < 3; ++i) w.push(Node{n.depth + 1});
                });
            } catch (...) {
                return false;
            }
            if (visited.load() != 3 * (2187 - 1) / 2) return false;
        }
        return true;
    });
    EXPECT_EQ(status, 0);
}

// A task that cannot be queued (no memory to hold it) fails the run instead
// of leaving it waiting for that task, whether a task or the caller pushed
// it; the pool then runs again.
TEST(WorkPool, ATaskThatCannotBeQueuedEndsTheRun) {
    struct Node {
        int depth = 0;
        bool unqueueable = false;
        Node(int d, bool u = false) : depth(d), unqueueable(u) {}
        Node() = default;
        Node(Node&& o) : depth(o.depth), unqueueable(o.unqueueable) {
            if (unqueueable) throw std::bad_alloc();
        }
        Node& operator=(Node&&) = default;
    };
    for (unsigned threads : {1u, 4u}) {
        WorkPool<Node> pool(threads);
        const auto tree = [](Node&& n, WorkPool<Node>::Worker& w) {
            for (int i = 0; i < 3 && n.depth < 5; ++i) w.push(Node(n.depth + 1, n.depth == 3 && i == 2));
        };
        std::vector<Node> initial;
        initial.reserve(2);
        initial.emplace_back(0);
        initial.emplace_back(0);
        EXPECT_THROW(pool.run(std::move(initial), tree), std::bad_alloc) << threads;
        std::vector<Node> unqueueable;
        unqueueable.reserve(2);
        unqueueable.emplace_back(0);
        unqueueable.emplace_back(0, true);
        EXPECT_THROW(pool.run(std::move(unqueueable), tree), std::bad_alloc) << threads;
        std::atomic<int> visited{0};
        std::vector<Node> again;
        again.emplace_back(0);
        pool.run(std::move(again), [&](Node&&, WorkPool<Node>::Worker&) { visited.fetch_add(1); });
        EXPECT_EQ(visited.load(), 1) << threads;
    }
}
