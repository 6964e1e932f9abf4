#include "kit/PointingHandCursorModifier.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View PointingHandCursorModifier(const ui::View& content) { return content.cursor(ui::CursorShape::pointingHand); }

}  // namespace tidewell
