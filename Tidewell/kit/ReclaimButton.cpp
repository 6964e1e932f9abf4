#include "kit/ReclaimButton.h"

#include "kit/ForestButton.h"

namespace tidewell {

platform::ui::View ReclaimButton::body() const {
    return ForestButton{title, std::nullopt, caution ? ForestButton::Tone::caution : ForestButton::Tone::reclaim,
                        platform::ui::ControlSize::regular, false, action}
        .body();
}

}  // namespace tidewell
