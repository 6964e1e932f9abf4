#pragma once

#include "ui/State.h"

#include <string>
#include <vector>

namespace platform::ui {

struct PickerOption {
    std::string tag;    // the value the selection takes
    std::string title;  // what the segment or menu item shows
};

enum class PickerStyle { segmented, menu };

// A choice among options bound to `selection`. Segmented: one segment per
// option, the selected one raised and traited as selected. Menu: a face with
// the selected title that opens a menu of the options.
View Picker(std::string label, Binding<std::string> selection, std::vector<PickerOption> options,
            PickerStyle style = PickerStyle::menu);

}  // namespace platform::ui
