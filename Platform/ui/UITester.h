#pragma once

#include "ui/Accessibility.h"
#include "ui/ViewHost.h"

#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// Drives a host the way an interface test drives an application: find
// elements by identifier or text, read their frames, labels and texts, tap
// and hover them. Every query first brings the host up to date.
class UITester {
public:
    explicit UITester(ViewHost& host) : host_(host) {}

    AccessibilityNodeInfo tree();
    std::optional<AccessibilityNodeInfo> find(const std::string& identifier);
    // An element whose label is `text`, or that shows `text`.
    std::optional<AccessibilityNodeInfo> findText(const std::string& text);
    std::vector<AccessibilityNodeInfo> findAll(const std::function<bool(const AccessibilityNodeInfo&)>& match);
    bool exists(const std::string& identifier) { return find(identifier).has_value(); }

    // Taps the centre of an element's frame; false when it is not there.
    bool tap(const std::string& identifier);
    bool tapText(const std::string& text);
    void tap(const AccessibilityNodeInfo& element);
    void tapAt(Point p);
    void hover(Point p);
    void hover(const AccessibilityNodeInfo& element);
    void leave();

    // Keys, as a keyboard sends them to the focused view: one press per
    // user-visible character of `text`; true when every press was taken.
    bool typeText(const std::string& text);
    bool pressKey(int key, unsigned modifiers = 0);
    // A wheel or touchpad scroll over an element's centre; false when it is not there.
    bool scroll(const std::string& identifier, ScrollDelta delta);
    // Performs the named accessibility action of an element; false when either is missing.
    bool performAction(const std::string& identifier, const std::string& action);

    // Brings the host up to date (rebuild and layout when anything changed).
    void settle();

private:
    ViewHost& host_;
};

}  // namespace platform::ui
