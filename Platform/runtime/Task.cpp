#include "runtime/Task.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

struct TaskState {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

bool TaskHandle::isFinished() const {
    if (!state_) return true;
    std::lock_guard lock(state_->mutex);
    return state_->done;
}

void TaskHandle::wait() const {
    if (!state_) return;
    std::unique_lock lock(state_->mutex);
    state_->finished.wait(lock, [&] { return state_->done; });
}

namespace {
// Lower priorities yield the processor to the interface; a failure to renice
// is harmless.
void applyPriority(TaskPriority priority) {
    int nice = 0;
    switch (priority) {
        case TaskPriority::userInitiated: nice = 0; break;
        case TaskPriority::utility: nice = 5; break;
        case TaskPriority::background: nice = 10; break;
    }
    if (nice != 0) {
        const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
        (void)::setpriority(PRIO_PROCESS, tid, nice);
    }
}
}  // namespace

TaskHandle detachTask(TaskPriority priority, std::function<void()> work) {
    TaskHandle handle;
    handle.state_ = std::make_shared<TaskState>();
    std::thread([state = handle.state_, priority, work = std::move(work)] {
        applyPriority(priority);
        try {
            work();
        } catch (...) {
        }
        std::lock_guard lock(state->mutex);
        state->done = true;
        state->finished.notify_all();
    }).detach();
    return handle;
}

}  // namespace platform
