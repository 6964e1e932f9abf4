#include "kit/ThemeSpring.h"

#include "kit/Theme.h"

namespace tidewell {

platform::ui::Animation themeSpring() {
    return platform::ui::Animation::spring(Theme::spring.response, Theme::spring.dampingFraction);
}

}  // namespace tidewell
