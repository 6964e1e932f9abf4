#include "shell/SidebarSelectionPill.h"

#include "kit/Theme.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View SidebarSelectionPill() {
    return ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous).fill(Theme::accent().opacity(0.16));
}

}  // namespace tidewell
