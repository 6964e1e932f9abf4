#include "kit/ControlGlassGroup.h"

namespace tidewell {

platform::ui::View ControlGlassGroup(double spacing, platform::ui::View content) {
    (void)spacing;  // only a glass container would use it
    return content;
}

}  // namespace tidewell
