#pragma once
// A bubble of the storage tree the character may stand on.

#include <string>

#include "ui/Geometry.h"

namespace tidewell {

struct TreePerch {
    std::string title;   // the stack's label
    std::string detail;  // "2.5 GB · Reclaimable"
    platform::ui::Point center;
    double radius = 0;
    bool operator==(const TreePerch&) const = default;
};

}  // namespace tidewell
