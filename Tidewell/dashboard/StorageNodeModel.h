#pragma once
// One laid-out bubble of the storage tree.

#include <string>

#include "core/EngineRecords.h"
#include "dashboard/StorageNodeStatus.h"
#include "ui/Geometry.h"

namespace tidewell {

struct StorageNodeModel {
    TypeSummaryDTO summary;
    StorageNodeStatus status = StorageNodeStatus::active;
    platform::ui::Point position;  // the bubble's centre, origin top-left, y down
    double diameter = 0;

    // The stack id: bubbles keep their identity across rescans and relayouts.
    const std::string& id() const { return summary.project_type; }
    bool operator==(const StorageNodeModel&) const = default;
};

}  // namespace tidewell
