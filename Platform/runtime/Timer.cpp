#include "runtime/Timer.h"

#include <QTimer>

namespace platform {

RepeatingTimer::RepeatingTimer(std::chrono::duration<double> interval,
                               std::chrono::duration<double> tolerance, std::function<void()> tick)
    : interval_(interval), tolerance_(tolerance), tick_(std::move(tick)) {
    timer_ = new QTimer();
    timer_->setInterval(static_cast<int>(
        std::max<long long>(1, std::chrono::duration_cast<std::chrono::milliseconds>(interval).count())));
    timer_->setTimerType(tolerance.count() > 0 ? Qt::CoarseTimer : Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, [this] { fire(); });
    timer_->start();
}

RepeatingTimer::~RepeatingTimer() { invalidate(); }

void RepeatingTimer::invalidate() {
    if (timer_ != nullptr) {
        timer_->stop();
        delete timer_;
        timer_ = nullptr;
    }
}

bool RepeatingTimer::isValid() const { return timer_ != nullptr; }

void RepeatingTimer::fire() {
    if (tick_) tick_();
}

}  // namespace platform
