#pragma once
// The main actor is the Qt main thread: every change of published state runs
// there. Work posted from any thread runs on it in posting order.

#include <chrono>
#include <functional>
#include <memory>

namespace platform {

// Cancels a delayed piece of work before it runs; cancelling after it ran, or
// twice, does nothing.
class WorkItem {
public:
    WorkItem();
    void cancel();
    bool isCancelled() const;

private:
    friend class WorkItemAccess;
    std::shared_ptr<struct WorkItemState> state_;
};

bool isOnMainActor();

// Runs `work` on the main thread at its next turn of the event loop, even when
// called from the main thread itself. Needs a QCoreApplication.
void postToMain(std::function<void()> work);

// Runs `work` on the main thread after `delay`; the returned item cancels it.
WorkItem postToMainAfter(std::chrono::duration<double> delay, std::function<void()> work);

// Runs the main event loop until `done` answers true or `limit` has passed.
// For waits that must keep the main thread serving events (and for tests).
bool processMainEventsUntil(const std::function<bool()>& done,
                            std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace platform
