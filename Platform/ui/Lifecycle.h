#pragma once

// Life-cycle hooks of views: `onAppear`, `onDisappear`, `onChange` and
// `task` (declared on `View`). Handlers never run inside a build: the host
// queues them and runs them once the build, layout and preference pass are
// over, disappearances first, then appearances and changes in tree order
// (outer views first). A handler may change state; that rebuilds on the next
// turn as any change does.

#include "ui/View.h"

#include <functional>
#include <memory>

namespace platform::ui {

// The running work of `View::task`, cancelled when its view leaves the
// tree (or, with an id, when the id changes). Work it schedules through
// `after` and `background` is dropped once it is cancelled.
class ViewTask {
public:
    ViewTask();
    bool isCancelled() const;
    void cancel() const;
    // Runs `work` on the main thread after `seconds`, unless cancelled first.
    void after(double seconds, std::function<void()> work) const;
    // Runs `work` on a thread of its own, then `done` on the main thread
    // unless the task was cancelled meanwhile.
    void background(std::function<void()> work, std::function<void()> done) const;
    // Called once, on the main thread, when the task is cancelled.
    void onCancel(std::function<void()> handler) const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::ui
