#pragma once
// The key to the storage tree's four bubble statuses, laid over the tree's
// top-right corner (the box the layout keeps free).

#include "ui/View.h"

namespace tidewell {

platform::ui::View StorageLegendView();

}  // namespace tidewell
