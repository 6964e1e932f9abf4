#pragma once

#include <optional>
#include <string>

#include "ui/State.h"
#include "ui/View.h"

namespace tidewell {
class AppStore;
}

namespace kitgallery {

// Every kit component on one page: header, scan controls and banner, the
// buttons in their tones and sizes, stack pictures at 16 and 28 points,
// tiles, badges, the brand mark, the filter bar, panels and an empty state.
platform::ui::View galleryPage(tidewell::AppStore& store, platform::ui::Binding<std::optional<std::string>> filter);

}  // namespace kitgallery
