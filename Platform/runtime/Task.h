#pragma once
// Background tasks: slow work runs off the main thread and hops back with
// postToMain to publish. Each task has its own thread, so a task that blocks
// for a long time (an engine run) never starves another.

#include <functional>
#include <memory>

namespace platform {

enum class TaskPriority { background, utility, userInitiated };

// A handle on a started task: it can be waited for, mostly by tests and by
// work that must finish before the process ends.
class TaskHandle {
public:
    TaskHandle() = default;
    bool isFinished() const;
    void wait() const;

private:
    friend TaskHandle detachTask(TaskPriority, std::function<void()>);
    std::shared_ptr<struct TaskState> state_;
};

// Starts `work` on a new thread of its own. An exception escaping `work` is
// swallowed: a task reports through what it publishes, never by throwing.
TaskHandle detachTask(TaskPriority priority, std::function<void()> work);

}  // namespace platform
