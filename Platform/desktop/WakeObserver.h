#pragma once
// Calls back when the machine wakes from sleep: logind's PrepareForSleep(false)
// on the system bus. Without a system bus or logind it simply never calls.

#include <functional>
#include <memory>

namespace platform {

class WakeObserver {
public:
    explicit WakeObserver(std::function<void()> onWake);
    ~WakeObserver();
    WakeObserver(const WakeObserver&) = delete;
    WakeObserver& operator=(const WakeObserver&) = delete;

    // Whether logind's signal could be subscribed to.
    bool isListening() const;
    // What the signal handler does with PrepareForSleep's argument.
    void prepareForSleep(bool starting);

private:
    struct Receiver;
    std::function<void()> onWake_;
    std::unique_ptr<Receiver> receiver_;
};

}  // namespace platform
