#pragma once
// The card over the bottom of the storage tree for the selected stack: its
// name, status, counts and sizes, and three actions. It decides nothing: the
// tree hands it the flags and the actions.

#include <functional>
#include <string>

#include "dashboard/StorageNodeModel.h"
#include "ui/View.h"

namespace tidewell {

struct StorageDetailPanel {
    StorageNodeModel node;
    bool userProtected = false;
    bool canClean = false;
    std::function<void()> onDetails;
    std::function<void()> onClean;
    std::function<void()> onProtect;

    platform::ui::View body() const;
};

// "1 project · 2 GB total", "3 projects · 2 GB total".
std::string storageDetailCountLine(const TypeSummaryDTO& summary);

// The protection chip: "Unprotect" (enabled), "Protected" (disabled, all
// projects pinned) or "Protect".
struct ProtectionChip {
    std::string title, symbol;
    bool enabled = true;
    bool operator==(const ProtectionChip&) const = default;
};
ProtectionChip protectionChip(bool userProtected, StorageNodeStatus status);

}  // namespace tidewell
