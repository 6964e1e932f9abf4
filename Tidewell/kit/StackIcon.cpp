#include "kit/StackIcon.h"

#include <map>

#include "kit/StackIcons.h"
#include "kit/StackVocabulary.h"
#include "ui/Image.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

// Bodies ask for icons on every rebuild; each stack's image view is made
// (and its document parsed) once and shared, as views are immutable.
const ui::Image& iconImage(const std::string& type, const StackIconImage& icon) {
    static std::map<std::string, ui::Image> images;
    auto it = images.find(type);
    if (it == images.end()) it = images.emplace(type, ui::Image::svgData(icon.svg, "stack:" + type).resizable()).first;
    return it->second;
}

}  // namespace

ui::View StackIcon(const std::string& type, double size, bool forceTint) {
    const ui::Color tint = stackIconTint(type);
    const auto image = stackIconImage(type);
    ui::View content;
    if (image && !forceTint) {
        content = iconImage(type, *image).aspectRatio(std::nullopt, ui::ContentMode::fit).frame(size, size);
    } else if (image) {
        // The square 24 × 24 document fills the frame; no aspect step.
        content = iconImage(type, *image)
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

std::optional<ui::View> StackTemplateIcon(const std::string& type, double size, const ui::Color& tint) {
    const auto image = stackIconImage(type);
    if (!image) return std::nullopt;
    return iconImage(type, *image)
        .renderingMode(ui::ImageRenderingMode::template_)
        .foregroundStyle(tint)
        .frame(size, size)
        .accessibilityHidden(true);
}

}  // namespace tidewell
