#pragma once
// Calls back when the machine wakes from sleep: logind's PrepareForSleep(false)
// on the system bus, listened to once the bus has answered a look (a bus that
// never answers holds nothing). Without a system bus or logind it simply never calls.

#include <functional>
#include <memory>

namespace platform {

class WakeObserver {
public:
    explicit WakeObserver(std::function<void()> onWake);
    ~WakeObserver();
    WakeObserver(const WakeObserver&) = delete;
    WakeObserver& operator=(const WakeObserver&) = delete;

    // Whether logind's signal is subscribed to (not before the bus answered).
    bool isListening() const;
    // What the signal handler does with PrepareForSleep's argument.
    void prepareForSleep(bool starting);

private:
    struct Receiver;
    void listen();
    std::function<void()> onWake_;
    std::unique_ptr<Receiver> receiver_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
