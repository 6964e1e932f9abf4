#include "shell/WindowBackground.h"

#include "kit/Theme.h"

namespace tidewell {

platform::ui::View WindowBackground() { return platform::ui::View(Theme::windowBackground()); }

}  // namespace tidewell
