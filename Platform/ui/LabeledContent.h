#pragma once

// A row of a label and its control. Inside a grouped form the control sits
// at the trailing edge; elsewhere it follows the label.

#include "ui/View.h"

namespace platform::ui {

struct InFormKey {
    using Value = bool;
    static Value defaultValue() { return false; }
};

View LabeledContent(View label, View content);
View LabeledContent(std::string label, View content);

}  // namespace platform::ui
