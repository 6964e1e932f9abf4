#include "shell/GlassBackground.h"

#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View glassBackground(const ui::View& content, double cornerRadius, const ui::Color& fallbackTint) {
    const ui::Shape shape = ui::RoundedRectangle(cornerRadius, ui::RoundedCornerStyle::continuous);
    return content.background(shape.fill(fallbackTint).background(shape.fill(ui::Material::ultraThin)));
}

}  // namespace tidewell
