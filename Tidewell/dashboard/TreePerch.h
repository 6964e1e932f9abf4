#pragma once
// A bubble of the storage tree the character may stand on.

#include <string>

#include "ui/Geometry.h"

namespace tidewell {

struct TreePerch {
    std::string title;   // the stack's label
    std::string detail;  // "1.2 GB · Reclaimable"
    platform::ui::Point center;
    double radius = 0;
    // The pointer is over this bubble: only then does the character name it,
    // so its words are the bubble's hover label and leave with the pointer.
    bool hovered = false;
    bool operator==(const TreePerch&) const = default;
};

}  // namespace tidewell
