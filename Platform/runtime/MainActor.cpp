#include "runtime/MainActor.h"

#include <atomic>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace platform {

struct WorkItemState {
    std::atomic<bool> cancelled{false};
};

WorkItem::WorkItem() : state_(std::make_shared<WorkItemState>()) {}
void WorkItem::cancel() { state_->cancelled = true; }
bool WorkItem::isCancelled() const { return state_->cancelled; }

class WorkItemAccess {
public:
    static std::shared_ptr<WorkItemState> state(const WorkItem& item) { return item.state_; }
};

bool isOnMainActor() {
    auto* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void postToMain(std::function<void()> work) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr) return;  // no event loop: nothing can run it
    QMetaObject::invokeMethod(app, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

WorkItem postToMainAfter(std::chrono::duration<double> delay, std::function<void()> work) {
    WorkItem item;
    auto state = WorkItemAccess::state(item);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(delay).count();
    // The timer must be made on the main thread to fire there.
    postToMain([state, ms, work = std::move(work)]() mutable {
        if (state->cancelled) return;
        QTimer::singleShot(std::max<long long>(0, ms), QCoreApplication::instance(),
                           [state, work = std::move(work)] {
                               if (!state->cancelled) work();
                           });
    });
    return item;
}

bool processMainEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    QDeadlineTimer deadline(limit.count());
    while (!done()) {
        if (deadline.hasExpired()) return false;
        // A short nested loop sleeps until an event arrives instead of spinning.
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

}  // namespace platform
