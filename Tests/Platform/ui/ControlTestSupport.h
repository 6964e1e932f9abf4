#pragma once

#include "ui/Controls.h"
#include "ui/Inspect.h"
#include "ui/Modifiers.h"

#include <QGuiApplication>
#include <Qt>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace controltest {

using namespace platform::ui;

// A host with a clock the test moves and rebuilds the test runs by hand.
struct Rig {
    double clock = 0;
    ViewHost host;
    UITester tester{host};
    std::vector<std::function<void()>> pending;

    explicit Rig(Size size = {480, 360})
    {
        host.setScheduler([this](std::function<void()> f) { pending.push_back(std::move(f)); });
        host.setClock([this] { return clock; });
        host.setSize(size);
    }
    void show(std::function<View()> root)
    {
        host.setRoot(std::move(root));
        settle();
    }
    void settle()
    {
        for (int i = 0; i < 8; ++i) {
            auto p = std::move(pending);
            pending.clear();
            for (auto& f : p) f();
            tester.settle();
            if (pending.empty() && !host.needsRebuild()) break;
        }
    }
    // Moves the clock and runs the frame a timeline or animation asked for.
    void advance(double seconds)
    {
        clock += seconds;
        host.setNeedsRebuild();
        settle();
    }
    // Runs frames until nothing asks for another (bounded).
    int runFrames(double step = 1.0 / 60, int limit = 2000)
    {
        int n = 0;
        while (host.nextFrameDue() && n < limit) {
            advance(step);
            ++n;
        }
        return n;
    }
    bool key(int k, const std::string& text = {}, unsigned mods = 0)
    {
        settle();
        const bool handled = host.key(KeyPress{k, text, mods});
        settle();
        return handled;
    }
    void type(const std::string& text)
    {
        // One key press per character, as a keyboard sends them.
        for (const std::string& c : splitCharacters(text)) key(0, c);
    }
    std::optional<AccessibilityNodeInfo> find(const std::string& id) { return tester.find(id); }
    bool exists(const std::string& id) { return tester.find(id).has_value(); }
    bool hasText(const std::string& text) { return tester.findText(text).has_value(); }
};

}  // namespace controltest
