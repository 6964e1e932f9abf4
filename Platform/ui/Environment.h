#pragma once

#include "ui/Color.h"
#include "ui/Font.h"
#include "ui/ShapeStyle.h"

#include <any>
#include <map>
#include <memory>
#include <optional>
#include <typeindex>

namespace platform::ui {

enum class TruncationMode { tail, middle, head };
enum class TextAlignment { leading, center, trailing };

// Values handed down the view tree. A custom key is a type with a `Value`
// type and a static `defaultValue()`:
//
//   struct WidthClassKey { using Value = WidthClass; static Value defaultValue() { return WidthClass::wide; } };
//   env.get<WidthClassKey>();   view.environment<WidthClassKey>(WidthClass::compact);
struct EnvironmentValues {
    ColorScheme colorScheme = ColorScheme::light;
    bool reduceMotion = false;
    bool reduceTransparency = false;
    double displayScale = 1;

    Font font = Font::body();  // effective: includes the two overrides below
    // Set by `fontWeight` / `bold` and `monospacedDigit` on a container: they
    // hold for fonts set further in as well.
    std::optional<FontWeight> fontWeight;
    bool monospacedDigit = false;
    std::optional<double> tracking;  // letter tracking in points, held like the weight
    ShapeStyle foregroundStyle = ShapeStyle::primary();
    std::optional<int> lineLimit;
    TruncationMode truncationMode = TruncationMode::tail;
    double minimumScaleFactor = 1;
    TextAlignment multilineTextAlignment = TextAlignment::leading;
    bool isEnabled = true;

    template <class Key>
    typename Key::Value get() const
    {
        if (!custom_)
            return Key::defaultValue();
        auto it = custom_->find(std::type_index(typeid(Key)));
        if (it == custom_->end())
            return Key::defaultValue();
        return std::any_cast<typename Key::Value>(it->second);
    }

    template <class Key>
    void set(typename Key::Value value)
    {
        // Copied on write: every modifier copies the environment, few set keys.
        auto custom = custom_ ? std::make_shared<Custom>(*custom_) : std::make_shared<Custom>();
        (*custom)[std::type_index(typeid(Key))] = std::move(value);
        custom_ = std::move(custom);
    }

    // A colour as drawn under this environment's colour scheme.
    RGBA resolve(const Color& c) const { return c.resolve(colorScheme); }

private:
    using Custom = std::map<std::type_index, std::any>;
    std::shared_ptr<const Custom> custom_;
};

using EnvironmentPtr = std::shared_ptr<const EnvironmentValues>;

}  // namespace platform::ui
