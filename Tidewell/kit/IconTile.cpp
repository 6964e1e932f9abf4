#include "kit/IconTile.h"

#include "kit/StackIcon.h"
#include "kit/Theme.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

inline constexpr double kIconTileIconFraction = 0.55;

ui::View IconTile(const std::string& type, double size, double cornerRadius) {
    const ui::Shape tile = ui::RoundedRectangle(cornerRadius, ui::RoundedCornerStyle::continuous);
    return ui::ZStack(ui::Alignment::center,
                      {
                          tile.fill(Theme::tileSurface()),
                          tile.strokeBorder(Theme::tileRim(), 1),
                          StackIcon(type, kIconTileIconFraction * size, true),
                      })
        .frame(size, size)
        .shadow(ui::Color::black().opacity(0.06), 2, 0, 1)
        .accessibilityHidden(true);
}

}  // namespace tidewell
