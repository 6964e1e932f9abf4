#pragma once

#include "ui/UI.h"

#include <gtest/gtest.h>

#include <memory>

namespace uitest {

using namespace platform::ui;

// A view laid out in a host of a given size, with frames looked up by
// accessibility identifier.
struct Laid {
    std::unique_ptr<ViewHost> host = std::make_unique<ViewHost>();
    UITester tester{*host};

    Rect frame(const std::string& id)
    {
        auto e = tester.find(id);
        EXPECT_TRUE(e.has_value()) << "no element " << id;
        return e ? e->frame : Rect{};
    }
    bool has(const std::string& id) { return tester.find(id).has_value(); }
};

inline std::unique_ptr<Laid> layOut(const View& view, Size size, const EnvironmentValues& env = {})
{
    auto laid = std::make_unique<Laid>();
    laid->host->setScheduler(nullptr);
    laid->host->setEnvironment(env);
    laid->host->setSize(size);
    laid->host->setRootView(view);
    laid->tester.settle();
    return laid;
}

// A fixed-size block that forms its own accessibility element.
inline View box(const std::string& id, double w, double h, Color c = Color::gray())
{
    return View(c).frame(w, h).accessibilityIdentifier(id);
}

inline View tag(const View& v, const std::string& id) { return v.accessibilityIdentifier(id); }

}  // namespace uitest
