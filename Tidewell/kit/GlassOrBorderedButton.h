#pragma once

#include "ui/View.h"

namespace tidewell {

// The look of the icon-only buttons: the bordered style in its default shape
// (the glass circle belongs to a newer desktop than any we run on).
platform::ui::View GlassOrBorderedButton(const platform::ui::View& button);

}  // namespace tidewell
