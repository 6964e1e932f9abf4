#pragma once
// A small work-stealing pool for one parallel walk: each worker pops its own
// newest task (depth first keeps few folders pending), and idle workers steal
// the oldest task of another (breadth near the top spreads the work). The
// caller is the first worker; the others start only when work waits for them,
// so a walk of a small folder (a clean measures thousands) starts no thread.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace tidewell::engine {

template <class Task> class WorkPool {
public:
    class Worker {
    public:
        unsigned index() const { return index_; }
        void push(Task task) { pool_.push(index_, std::move(task)); }

    private:
        friend class WorkPool;
        Worker(WorkPool& pool, unsigned index) : pool_(pool), index_(index) {}
        WorkPool& pool_;
        unsigned index_;
    };

    using Handler = std::function<void(Task&&, Worker&)>;

    explicit WorkPool(unsigned threads) : queues_(threads ? threads : 1) { threads_.reserve(queues_.size()); }

    unsigned size() const { return static_cast<unsigned>(queues_.size()); }

    // Runs `handler` on every task, including those the handler pushes, and
    // returns when none is left. When a task throws, the tasks left are
    // dropped, every worker is joined, and the first exception is rethrown.
    // A thread that cannot be started leaves its share to those running.
    void run(std::vector<Task> initial, const Handler& handler) {
        handler_ = &handler;
        started_.store(1);
        const std::size_t first = std::min(initial.size(), queues_.size());
        try {
            for (std::size_t i = 0; i < initial.size(); ++i) enqueue(i % first, std::move(initial[i]));
        } catch (...) {
            fail();  // what was queued is dropped below, as after a task threw
        }
        for (std::size_t i = 1; i < first; ++i) startWorker();
        loop(0);
        // No task is left, so no worker starts any more.
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(threadsM_);
            threads.swap(threads_);
        }
        for (auto& t : threads) t.join();
        handler_ = nullptr;
        failed_.store(false);
        if (std::exception_ptr error = std::exchange(error_, nullptr)) std::rethrow_exception(error);
    }

private:
    struct Queue {
        std::mutex m;
        std::deque<Task> q;
    };

    void push(std::size_t worker, Task&& task) {
        enqueue(worker, std::move(task));
        // The pushing worker is busy: a task that no idle worker will take
        // starts another.
        if (started_.load(std::memory_order_relaxed) < queues_.size() && queued_.load() > sleepers_.load()) startWorker();
    }

    void startWorker() {
        std::lock_guard lock(threadsM_);
        const unsigned i = started_.load();
        if (i >= queues_.size()) return;
        try {
            threads_.emplace_back([this, i] { loop(i); });
            started_.store(i + 1);
        } catch (...) {
            // No thread to be had (a limit on processes, no memory): the
            // workers running take its tasks, and no other start is tried.
            started_.store(static_cast<unsigned>(queues_.size()));
        }
    }

    void enqueue(std::size_t worker, Task&& task) {
        pending_.fetch_add(1);
        try {
            std::lock_guard lock(queues_[worker].m);
            queues_[worker].q.push_back(std::move(task));
        } catch (...) {
            // Never queued, so never finished: the run would wait for it.
            pending_.fetch_sub(1);
            throw;
        }
        queued_.fetch_add(1);
        if (sleepers_.load() > 0) {
            std::lock_guard lock(sleepM_);
            cv_.notify_one();
        }
    }

    bool take(unsigned self, Task& out) {
        {
            auto& own = queues_[self];
            std::lock_guard lock(own.m);
            if (!own.q.empty()) {
                out = std::move(own.q.back());
                own.q.pop_back();
                queued_.fetch_sub(1);
                return true;
            }
        }
        const auto n = queues_.size();
        for (std::size_t k = 1; k < n; ++k) {
            auto& other = queues_[(self + k) % n];
            std::lock_guard lock(other.m);
            if (!other.q.empty()) {
                out = std::move(other.q.front());
                other.q.pop_front();
                queued_.fetch_sub(1);
                return true;
            }
        }
        return false;
    }

    void handle(Task&& task, Worker& worker) {
        try {
            (*handler_)(std::move(task), worker);
        } catch (...) {
            fail();
        }
    }

    // Keeps the exception being handled, the first only, and ends the run.
    void fail() {
        std::lock_guard lock(sleepM_);
        if (!error_) error_ = std::current_exception();
        failed_.store(true);
    }

    void loop(unsigned self) {
        Worker worker(*this, self);
        Task task;
        for (;;) {
            if (take(self, task)) {
                if (!failed_.load(std::memory_order_relaxed)) handle(std::move(task), worker);
                if (pending_.fetch_sub(1) == 1) {
                    std::lock_guard lock(sleepM_);
                    cv_.notify_all();
                }
                continue;
            }
            if (pending_.load() == 0) return;
            sleepers_.fetch_add(1);
            {
                std::unique_lock lock(sleepM_);
                cv_.wait(lock, [&] { return queued_.load() > 0 || pending_.load() == 0; });
            }
            sleepers_.fetch_sub(1);
        }
    }

    std::vector<Queue> queues_;
    std::atomic<long> pending_{0};  // pushed and not yet finished
    std::atomic<long> queued_{0};   // waiting in a queue
    std::atomic<int> sleepers_{0};
    std::atomic<unsigned> started_{1};  // workers running, the caller included
    std::mutex threadsM_;
    std::vector<std::thread> threads_;
    std::mutex sleepM_;
    std::condition_variable cv_;
    const Handler* handler_ = nullptr;
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;  // the first a task threw, guarded by sleepM_
};

}  // namespace tidewell::engine
