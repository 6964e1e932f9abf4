#include "kit/StackIcon.h"

#include "kit/StackIcons.h"
#include "kit/StackVocabulary.h"
#include "ui/Image.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View StackIcon(const std::string& type, double size, bool forceTint) {
    const ui::Color tint = stackIconTint(type);
    const auto image = stackIconImage(type);
    ui::View content;
    if (image && !forceTint) {
        content = ui::Image::svgData(image->svg, "stack:" + type)
                      .resizable()
                      .aspectRatio(std::nullopt, ui::ContentMode::fit)
                      .frame(size, size);
    } else if (image) {
        // The square 24 × 24 document fills the frame; no aspect step.
        content = ui::Image::svgData(image->svg, "stack:" + type)
                      .resizable()
                      .renderingMode(ui::ImageRenderingMode::template_)
                      .foregroundStyle(tint)
                      .frame(size, size);
    } else {
        content = ui::Image::systemName(stackSymbol(type))
                      .font(ui::Font::system(0.82 * size, ui::FontWeight::semibold))
                      .foregroundStyle(tint)
                      .frame(size, size);
    }
    return content.accessibilityHidden(true);
}

}  // namespace tidewell
