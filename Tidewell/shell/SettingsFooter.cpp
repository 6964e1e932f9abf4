#include "shell/SettingsFooter.h"

#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View SettingsFooter(ui::View content) {
    ui::FrameSpec full;
    full.maxWidth = ui::infinity;
    full.alignment = ui::Alignment::leading;
    return content.font(ui::Font::callout())
        .foregroundStyle(ui::ShapeStyle::secondary())
        .multilineTextAlignment(ui::TextAlignment::leading)
        .frame(full)
        .padding(ui::Edges::horizontal(), 10);
}

ui::View SettingsFooter(std::string text) { return SettingsFooter(ui::Text(std::move(text))); }

}  // namespace tidewell
