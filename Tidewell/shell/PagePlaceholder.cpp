#include "shell/PagePlaceholder.h"

#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View PagePlaceholder(const std::string& title) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    return ui::Text(title).font(ui::Font::title2()).foregroundStyle(ui::ShapeStyle::secondary()).frame(fill);
}

}  // namespace tidewell
