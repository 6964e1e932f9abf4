#pragma once
// The animated storage tree: a night scene with one bubble per stack of the
// scan, hover, selection (shared with the project list's stack filter),
// context menus, protection and per-stack cleaning, the legend and the
// selected stack's detail panel.

#include <optional>
#include <set>
#include <string>

#include "core/EngineRecords.h"
#include "dashboard/StorageNodeModel.h"
#include "ui/State.h"
#include "ui/View.h"

#include <memory>

namespace tidewell {

class AppStore;

// `cornerRadius`: the corners of the card holding the tree, drawn round by the night.
platform::ui::View StorageTreeView(AppStore& store, DashboardDTO dash, double cornerRadius = 0);
platform::ui::View StorageTreeView(AppStore& store, std::shared_ptr<const DashboardDTO> dash, double cornerRadius = 0);

// Per-stack operations on the store (and the protected set they are given).
// A clean checks that the stack can be cleaned itself, and leaves out
// projects that also belong to a protected stack.
void cleanStack(AppStore& store, const DashboardDTO& dash, const std::string& stack,
                const std::set<std::string>& protectedStacks);
void showStackDetails(AppStore& store, const std::string& stack);

// The selection is the store's stack filter: a bubble tap selects its stack,
// or deselects it when it is already selected; a tap on the open scene clears it.
void toggleStackSelection(AppStore& store, const std::string& stack);
void clearStackSelection(AppStore& store);
// The pointer entering a bubble hovers its stack; leaving it clears the hover
// only while it still names that stack, so moving straight onto another
// bubble keeps the newer one.
void trackStackHover(const platform::ui::Binding<std::optional<std::string>>& hoveredID, const std::string& stack,
                     bool inside);

// The seconds since 2001-01-01 UTC at the host clock's `hostSeconds`, in
// double precision (about 8 × 10⁸ today).
double secondsSinceReferenceDate(double hostSeconds);

}  // namespace tidewell
