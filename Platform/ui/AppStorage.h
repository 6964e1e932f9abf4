#pragma once

// Settings-bound state: a binding to one key of the user-defaults store.
// Reading it gives the stored value (the default when the key is absent or
// holds another kind); writing stores it, and every host that built a view
// reading the key redraws, whichever window wrote it.
//
//   AppStorage<std::string>("settings.selectedPane", "general", [](Binding<std::string> pane) { … })

#include "ui/State.h"
#include "foundation/UserDefaults.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

namespace detail {

// Redraws the host building `ctx` whenever `key` changes in `store`, for as
// long as the view at `identity` stays in the tree.
void watchDefaultsKey(BuildContext& ctx, const std::string& identity, const std::shared_ptr<platform::UserDefaults>& store,
                      const std::string& key);

template <class T>
struct DefaultsValue;

template <>
struct DefaultsValue<bool> {
    static std::optional<bool> read(const platform::UserDefaults& d, const std::string& k) { return d.boolValue(k); }
    static void write(platform::UserDefaults& d, const std::string& k, bool v) { d.setBool(k, v); }
};
template <>
struct DefaultsValue<std::int64_t> {
    static std::optional<std::int64_t> read(const platform::UserDefaults& d, const std::string& k) { return d.integerValue(k); }
    static void write(platform::UserDefaults& d, const std::string& k, std::int64_t v) { d.setInteger(k, v); }
};
template <>
struct DefaultsValue<int> {
    static std::optional<int> read(const platform::UserDefaults& d, const std::string& k)
    {
        // A stored number out of range is no int: the default stands.
        auto v = d.integerValue(k);
        if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) return std::nullopt;
        return int(*v);
    }
    static void write(platform::UserDefaults& d, const std::string& k, int v) { d.setInteger(k, v); }
};
template <>
struct DefaultsValue<double> {
    static std::optional<double> read(const platform::UserDefaults& d, const std::string& k) { return d.doubleValue(k); }
    static void write(platform::UserDefaults& d, const std::string& k, double v) { d.setDouble(k, v); }
};
template <>
struct DefaultsValue<std::string> {
    static std::optional<std::string> read(const platform::UserDefaults& d, const std::string& k) { return d.stringValue(k); }
    static void write(platform::UserDefaults& d, const std::string& k, std::string v) { d.setString(k, std::move(v)); }
};

template <class T>
class AppStorageNode final : public Node {
public:
    AppStorageNode(std::string key, T fallback, std::function<View(Binding<T>)> content, std::shared_ptr<platform::UserDefaults> store)
        : key_(std::move(key)), fallback_(std::move(fallback)), content_(std::move(content)), store_(std::move(store)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto store = store_ ? store_ : platform::UserDefaults::standard();
        watchDefaultsKey(ctx, self.identity(), store, key_);
        Binding<T> binding(
            [store, key = key_, fallback = fallback_] { return DefaultsValue<T>::read(*store, key).value_or(fallback); },
            [store, key = key_](T v) {
                if (DefaultsValue<T>::read(*store, key) == v) return;
                DefaultsValue<T>::write(*store, key, std::move(v));
            });
        ctx.addChild(self, content_ ? content_(binding) : View(), "s");
    }

private:
    std::string key_;
    T fallback_;
    std::function<View(Binding<T>)> content_;
    std::shared_ptr<platform::UserDefaults> store_;
};

}  // namespace detail

// `T` is bool, int, std::int64_t, double or std::string. With no `store`,
// the process's standard store at the time of each build.
template <class T>
View AppStorage(std::string key, T defaultValue, std::function<View(Binding<T>)> content,
                std::shared_ptr<platform::UserDefaults> store = nullptr)
{
    return View(detail::makeNode<detail::AppStorageNode<T>>(std::move(key), std::move(defaultValue), std::move(content), std::move(store)));
}

}  // namespace platform::ui
