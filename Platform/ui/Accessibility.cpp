#include "ui/Accessibility.h"

#include "ui/Inspect.h"
#include "ui/Modifiers.h"

namespace platform::ui {

const AccessibilityNodeInfo* AccessibilityNodeInfo::find(const std::function<bool(const AccessibilityNodeInfo&)>& match) const
{
    if (match(*this))
        return this;
    for (const auto& c : children)
        if (auto* f = c.find(match))
            return f;
    return nullptr;
}

namespace {

void collectTexts(const AccessibilityNodeInfo& n, std::vector<std::string>& out)
{
    out.insert(out.end(), n.texts.begin(), n.texts.end());
    for (const auto& c : n.children) collectTexts(c, out);
}

std::string joinLabels(const std::vector<AccessibilityNodeInfo>& nodes)
{
    std::string out;
    for (const auto& n : nodes) {
        std::string l = n.label;
        if (l.empty() && !n.children.empty()) l = joinLabels(n.children);
        if (l.empty()) continue;
        if (!out.empty()) out += ", ";
        out += l;
    }
    return out;
}

unsigned unionTraits(const std::vector<AccessibilityNodeInfo>& nodes)
{
    unsigned t = 0;
    for (const auto& n : nodes) t |= n.traits | unionTraits(n.children);
    return t;
}

// The accessibility nodes an element forms.
std::vector<AccessibilityNodeInfo> collect(const Element& e)
{
    if (!e.placed)
        return {};
    if (dynamic_cast<const HiddenNode*>(e.node.get()))
        return {};
    if (auto text = textOfNode(e.node.get())) {
        AccessibilityNodeInfo n;
        n.label = *text;
        n.texts = {*text};
        n.traits = unsigned(AccessibilityTrait::staticText);
        n.frame = visualFrame(e);
        n.elementIdentity = e.identity();
        return {n};
    }
    std::vector<AccessibilityNodeInfo> inner;
    for (const Element* c : paintOrder(e)) {
        auto sub = collect(*c);
        inner.insert(inner.end(), std::make_move_iterator(sub.begin()), std::make_move_iterator(sub.end()));
    }
    auto* ax = dynamic_cast<const AccessibilityNode*>(e.node.get());
    if (!ax)
        return inner;
    const AccessibilityProps& p = ax->props();
    if (p.hidden && *p.hidden)
        return {};
    const bool setsSomething = p.identifier || p.label || p.value || p.hint || p.traits || !p.actions.empty();
    if (p.children) {
        AccessibilityNodeInfo n;
        n.frame = visualFrame(e);
        n.elementIdentity = e.identity();
        switch (*p.children) {
        case AccessibilityChildBehavior::combine:
            n.label = joinLabels(inner);
            n.traits = unionTraits(inner) & ~unsigned(AccessibilityTrait::staticText);
            for (const auto& c : inner) collectTexts(c, n.texts);
            break;
        case AccessibilityChildBehavior::ignore:
            break;
        case AccessibilityChildBehavior::contain:
            n.isContainer = true;
            n.children = std::move(inner);
            break;
        }
        inner = {n};
    } else if (setsSomething && (inner.size() != 1 || (p.identifier && !inner.front().identifier.empty()))) {
        // Several (or no) elements, or one that has an identifier of its own:
        // the modifier makes a container of them.
        AccessibilityNodeInfo n;
        n.frame = visualFrame(e);
        n.elementIdentity = e.identity();
        n.isContainer = !inner.empty();
        n.children = std::move(inner);
        inner = {n};
    }
    AccessibilityNodeInfo& target = inner.front();
    if (p.identifier) target.identifier = *p.identifier;
    if (p.label) target.label = *p.label;
    if (p.value) target.value = *p.value;
    if (p.hint) target.hint = *p.hint;
    target.traits |= p.traits;
    target.actions.insert(target.actions.end(), p.actions.begin(), p.actions.end());
    return inner;
}

}  // namespace

AccessibilityNodeInfo buildAccessibilityTree(const Element& root)
{
    AccessibilityNodeInfo n;
    n.isContainer = true;
    n.frame = visualFrame(root);
    n.elementIdentity = root.identity();
    n.children = collect(root);
    return n;
}

}  // namespace platform::ui
