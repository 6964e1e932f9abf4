#pragma once

#include <string>

#include "ui/View.h"

namespace tidewell {

// A page's title block (display-face title over a secondary subtitle) with
// trailing views beside it when they fit, else below it at the trailing edge.
platform::ui::View ForestPageHeader(const std::string& title, const std::string& subtitle,
                                    platform::ui::View trailing);

}  // namespace tidewell
