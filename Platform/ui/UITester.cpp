#include "ui/UITester.h"

#include "ui/Characters.h"
#include <algorithm>

namespace platform::ui {

namespace {
void walk(const AccessibilityNodeInfo& n, const std::function<bool(const AccessibilityNodeInfo&)>& match,
          std::vector<AccessibilityNodeInfo>& out)
{
    if (match(n)) out.push_back(n);
    for (const auto& c : n.children) walk(c, match, out);
}

Point centre(const AccessibilityNodeInfo& n) { return {n.frame.midX(), n.frame.midY()}; }
}  // namespace

void UITester::settle()
{
    // A handler's state change can publish preferences that change state
    // again; a few rounds reach the steady picture.
    for (int i = 0; i < 8 && host_.needsRebuild(); ++i)
        host_.flush();
}

AccessibilityNodeInfo UITester::tree()
{
    settle();
    return host_.accessibilityTree();
}

std::vector<AccessibilityNodeInfo> UITester::findAll(const std::function<bool(const AccessibilityNodeInfo&)>& match)
{
    std::vector<AccessibilityNodeInfo> out;
    walk(tree(), match, out);
    return out;
}

std::optional<AccessibilityNodeInfo> UITester::find(const std::string& identifier)
{
    auto all = findAll([&](const AccessibilityNodeInfo& n) { return n.identifier == identifier; });
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::optional<AccessibilityNodeInfo> UITester::findText(const std::string& text)
{
    auto all = findAll([&](const AccessibilityNodeInfo& n) {
        return n.label == text || (!n.isContainer && std::find(n.texts.begin(), n.texts.end(), text) != n.texts.end());
    });
    if (all.empty()) return std::nullopt;
    return all.front();
}

bool UITester::tap(const std::string& identifier)
{
    auto e = find(identifier);
    if (!e) return false;
    tap(*e);
    return true;
}

bool UITester::tapText(const std::string& text)
{
    auto e = findText(text);
    if (!e) return false;
    tap(*e);
    return true;
}

void UITester::tap(const AccessibilityNodeInfo& element) { tapAt(centre(element)); }

void UITester::tapAt(Point p)
{
    settle();
    host_.tap(p);
    settle();
}

void UITester::hover(Point p)
{
    settle();
    host_.pointerMove(p);
    settle();
}

void UITester::hover(const AccessibilityNodeInfo& element) { hover(centre(element)); }

void UITester::leave()
{
    settle();
    host_.pointerLeave();
    settle();
}

bool UITester::typeText(const std::string& text)
{
    bool all = true;
    for (const std::string& c : splitCharacters(text)) {
        settle();
        all = host_.key(KeyPress{0, c, 0}) && all;
    }
    settle();
    return all;
}

bool UITester::pressKey(int key, unsigned modifiers)
{
    settle();
    const bool taken = host_.key(KeyPress{key, {}, modifiers});
    settle();
    return taken;
}

bool UITester::scroll(const std::string& identifier, ScrollDelta delta)
{
    auto e = find(identifier);
    if (!e) return false;
    const bool taken = host_.scroll(centre(*e), delta);
    settle();
    return taken;
}

bool UITester::performAction(const std::string& identifier, const std::string& action)
{
    auto e = find(identifier);
    if (!e) return false;
    for (auto& [name, perform] : e->actions)
        if (name == action && perform) {
            perform();
            settle();
            return true;
        }
    return false;
}

}  // namespace platform::ui
