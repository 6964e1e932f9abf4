#pragma once

#include "ui/View.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// One node of the accessibility tree, taken after layout. Text views are
// elements labelled with their text; modifiers set identifiers, labels,
// traits and how children are exposed (combined into one element, contained
// under a container, or ignored). Accessibility modifiers on a view that
// forms several elements make a container of them.
struct AccessibilityNodeInfo {
    std::string identifier;
    std::string label;
    std::string value;
    std::string hint;
    std::vector<std::string> texts;  // every text shown inside, in order
    unsigned traits = 0;
    Rect frame;  // host points
    bool isContainer = false;
    std::string elementIdentity;  // the view identity the node was formed from
    // Named actions, in the order they were added.
    std::vector<std::pair<std::string, std::function<void()>>> actions;
    std::vector<AccessibilityNodeInfo> children;

    bool hasTrait(AccessibilityTrait t) const { return traits & unsigned(t); }
    // Depth-first search, this node included.
    const AccessibilityNodeInfo* find(const std::function<bool(const AccessibilityNodeInfo&)>& match) const;
};

AccessibilityNodeInfo buildAccessibilityTree(const Element& root);

}  // namespace platform::ui
