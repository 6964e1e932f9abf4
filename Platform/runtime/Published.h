#pragma once
// Observable objects and their published fields. A write to a published field
// first sends the owner's will-change signal (so observers can snapshot the old
// state and schedule a redraw), then stores the value, then tells the
// subscribers of that one field the new value. Reads send nothing.

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "runtime/Signal.h"

namespace platform {

class ObservableObject {
public:
    ObservableObject() = default;
    ObservableObject(const ObservableObject&) = delete;
    ObservableObject& operator=(const ObservableObject&) = delete;
    virtual ~ObservableObject() = default;

    Signal<>& objectWillChange() { return willChange_; }
    void sendWillChange() { willChange_.send(); }

private:
    Signal<> willChange_;
};

template <class T>
class Published {
public:
    explicit Published(ObservableObject& owner, T initial = T{})
        : owner_(owner), value_(std::move(initial)), version_(nextVersion()) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    // Changes with every write and differs between fields (and between stores
    // made at the same address), so a result worked out from the value can be
    // kept until the next write.
    std::uint64_t version() const { return version_; }
    const T& operator*() const { return value_; }
    const T* operator->() const { return &value_; }
    operator const T&() const { return value_; }

    // Every write publishes, equal or not, as the declarative frameworks do.
    void set(T value) {
        owner_.sendWillChange();
        version_ = nextVersion();
        if (!didSetHook_) {
            value_ = std::move(value);
            didSet_.send(value_);
            return;
        }
        T old = std::exchange(value_, std::move(value));
        didSet_.send(value_);
        didSetHook_(old);
    }

    // The owner's own reaction to a write (a property observer), run after
    // the subscribers with the value that was replaced.
    void onDidSet(std::function<void(const T& oldValue)> hook) { didSetHook_ = std::move(hook); }
    Published& operator=(T value) {
        set(std::move(value));
        return *this;
    }

    // Subscribers hear each new value after it is stored.
    [[nodiscard]] Subscription subscribe(typename Signal<T>::Slot slot) {
        return didSet_.subscribe(std::move(slot));
    }

private:
    static std::uint64_t nextVersion() {
        static std::atomic<std::uint64_t> last{0};
        return ++last;
    }

    ObservableObject& owner_;
    T value_;
    std::uint64_t version_;
    Signal<T> didSet_;
    std::function<void(const T&)> didSetHook_;
};

}  // namespace platform
