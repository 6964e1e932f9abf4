#pragma once

#include "ui/Environment.h"

namespace tidewell {

// The window's width and height classes: every page picks its arrangement
// from these instead of measuring itself.
enum class WidthClass { compact, regular, wide };
// `short` is a C++ keyword, so the short height class is spelled `short_`.
enum class HeightClass { short_, tall };

// The classes a view sees when no size-class reader is above it (previews,
// the settings window, sheets that don't inherit the environment).
// Environment keys in the view layer's form (`Value` and `defaultValue()`).
struct WidthClassKey {
    using Value = WidthClass;
    static constexpr Value defaultValue() { return WidthClass::wide; }
};
struct HeightClassKey {
    using Value = HeightClass;
    static constexpr Value defaultValue() { return HeightClass::tall; }
};

// The environment values `widthClass` and `heightClass`, as a page reads them.
WidthClass widthClass(const platform::ui::EnvironmentValues& environment);
HeightClass heightClass(const platform::ui::EnvironmentValues& environment);

// Width in points: compact below 1000, regular below 1320, wide from 1320.
WidthClass widthClassFor(double width);
// Height in points: tall from 760, short below.
HeightClass heightClassFor(double height);

}  // namespace tidewell
