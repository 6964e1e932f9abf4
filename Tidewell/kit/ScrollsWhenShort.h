#pragma once

#include "ui/UI.h"

namespace tidewell {

// `content` at the full height it is offered while it fits, so its spacers
// spread it out as usual; where the room is shorter than it needs (a small
// window, a long banner at the foot) it scrolls instead of being cut.
platform::ui::View ScrollsWhenShort(platform::ui::View content);

}  // namespace tidewell
