#include "kit/SymbolTile.h"

#include "ui/Image.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View SymbolTile(const std::string& systemName, ui::Color tint, double size) {
    const ui::Shape tile = ui::RoundedRectangle(0.28 * size, ui::RoundedCornerStyle::continuous);
    return ui::ZStack(ui::Alignment::center,
                      {
                          tile.fill(tint.opacity(0.16)),
                          tile.strokeBorder(tint.opacity(0.28), 1),
                          ui::Image::systemName(systemName)
                              .font(ui::Font::system(0.44 * size, ui::FontWeight::semibold))
                              .foregroundStyle(tint),
                      })
        .frame(size, size)
        .accessibilityHidden(true);
}

}  // namespace tidewell
