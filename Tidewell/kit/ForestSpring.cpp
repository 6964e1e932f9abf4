#include "kit/ForestSpring.h"

#include "kit/Theme.h"

namespace tidewell {

platform::ui::Animation forestSpring() {
    static const platform::ui::Animation spring =
        platform::ui::Animation::spring(Theme::spring.response, Theme::spring.dampingFraction);
    return spring;
}

}  // namespace tidewell
