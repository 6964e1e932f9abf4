#pragma once

#include <string>

#include "ui/Color.h"
#include "ui/View.h"

namespace tidewell {

// A rounded tile washed in `tint` holding a system symbol in that tint:
// corners of 0.28 × size, the symbol at 0.44 × size. No shadow; hidden from
// accessibility.
platform::ui::View SymbolTile(const std::string& systemName, platform::ui::Color tint, double size);

}  // namespace tidewell
