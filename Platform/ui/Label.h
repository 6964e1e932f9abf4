#pragma once

// A label: a symbol beside a title, shown whole or in part by the label
// style in the environment (`labelStyle`). For accessibility it is one
// element named by its title.

#include "ui/View.h"

#include <string>

namespace platform::ui {

enum class LabelStyle { titleAndIcon, titleOnly, iconOnly };

struct LabelStyleKey {
    using Value = LabelStyle;
    static Value defaultValue() { return LabelStyle::titleAndIcon; }
};

View Label(std::string title, std::string systemImage);
View Label(View title, View icon);

std::function<View(const View&)> labelStyle(LabelStyle style);

}  // namespace platform::ui
