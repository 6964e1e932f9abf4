#pragma once
// A small observer list without moc: subscribers are std::functions, and a
// subscription is a token that unsubscribes when it is reset or destroyed.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

// Keeps a subscription alive; dropping it (or calling cancel) unsubscribes.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    ~Subscription() { cancel(); }

    void cancel() {
        if (auto c = std::exchange(cancel_, nullptr)) c();
    }
    bool active() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

template <class... Args>
class Signal {
public:
    using Slot = std::function<void(const Args&...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    // The token may outlive the signal: it only holds the list weakly.
    [[nodiscard]] Subscription subscribe(Slot slot) {
        std::lock_guard lock(state_->mutex);
        const auto key = state_->next++;
        state_->subscribers.emplace(key, std::make_shared<Slot>(std::move(slot)));
        std::weak_ptr<State> weak = state_;
        return Subscription([weak, key] {
            if (auto s = weak.lock()) {
                std::lock_guard lock(s->mutex);
                s->subscribers.erase(key);
            }
        });
    }

    // Calls a snapshot of the subscribers in subscription order, so a slot may
    // subscribe or unsubscribe while it runs.
    void send(const Args&... args) const {
        std::vector<std::shared_ptr<Slot>> snapshot;
        {
            std::lock_guard lock(state_->mutex);
            snapshot.reserve(state_->subscribers.size());
            for (auto& [key, slot] : state_->subscribers) snapshot.push_back(slot);
        }
        for (auto& slot : snapshot) (*slot)(args...);
    }

    std::size_t subscriberCount() const {
        std::lock_guard lock(state_->mutex);
        return state_->subscribers.size();
    }

private:
    struct State {
        std::mutex mutex;
        std::uint64_t next = 0;
        std::map<std::uint64_t, std::shared_ptr<Slot>> subscribers;
    };
    std::shared_ptr<State> state_;
};

}  // namespace platform
