#pragma once

#include "ui/View.h"

#include <concepts>
#include <functional>
#include <memory>

namespace platform::ui {

// Read and write access to a value owned elsewhere (view state, a store field).
template <class T>
class Binding {
public:
    Binding() = default;
    Binding(std::function<T()> get, std::function<void(T)> set) : get_(std::move(get)), set_(std::move(set)) {}
    static Binding constant(T value)
    {
        return Binding([value] { return value; }, [](T) {});
    }

    T get() const { return get_ ? get_() : T{}; }
    void set(T value) const
    {
        if (set_) set_(std::move(value));
    }
    T operator*() const { return get(); }

private:
    std::function<T()> get_;
    std::function<void(T)> set_;
};

namespace detail {
template <class T>
struct StateSlot {
    T value;
    std::function<void()> invalidate;
};
}  // namespace detail

// View-local state kept by the host under the view's identity: the first
// build creates it with `initial`, later builds of the same identity see the
// stored value, and a write asks the host for a rebuild on the next frame.
template <class T>
class StateNode final : public Node {
public:
    StateNode(T initial, std::function<View(Binding<T>)> content)
        : initial_(std::move(initial)), content_(std::move(content)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto raw = ctx.stateSlot(self.identity(), [this] {
            return std::static_pointer_cast<void>(std::make_shared<detail::StateSlot<T>>(detail::StateSlot<T>{initial_, {}}));
        });
        auto slot = std::static_pointer_cast<detail::StateSlot<T>>(raw);
        slot->invalidate = [&ctx] { ctx.requestRebuild(); };
        std::weak_ptr<detail::StateSlot<T>> weak = slot;
        Binding<T> binding(
            [weak, fallback = slot->value] {
                auto s = weak.lock();
                return s ? s->value : fallback;
            },
            [weak](T v) {
                auto s = weak.lock();
                if (!s) return;
                if constexpr (std::equality_comparable<T>) {
                    if (s->value == v) return;
                }
                s->value = std::move(v);
                if (s->invalidate) s->invalidate();
            });
        ctx.addChild(self, content_ ? content_(binding) : View(), "s");
    }

private:
    T initial_;
    std::function<View(Binding<T>)> content_;
};

template <class T>
View WithState(T initial, std::function<View(Binding<T>)> content)
{
    return View(detail::makeNode<StateNode<T>>(std::move(initial), std::move(content)));
}

}  // namespace platform::ui
