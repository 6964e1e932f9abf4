#pragma once
// Lays kit views out in a headless host and reads back what they drew.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include "foundation/Bundle.h"
#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/ScrollView.h"
#include "ui/UI.h"

namespace kittest {

using namespace platform::ui;

// Points the main bundle at the build's bundle, so symbols, stack icons and
// the logo resolve as in the application.
inline void useBuiltBundle() {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    ASSERT_NE(bundle, nullptr) << "TIDEWELL_BUNDLE is not set";
    const std::filesystem::path root(bundle);
    platform::Bundle::setMainForTesting((root / "bin" / "tidewell").string(), (root / "Resources").string());
}

struct Laid {
    std::unique_ptr<ViewHost> host = std::make_unique<ViewHost>();
    UITester tester{*host};

    Rect frame(const std::string& id) {
        auto e = tester.find(id);
        EXPECT_TRUE(e.has_value()) << "no element " << id;
        return e ? e->frame : Rect{};
    }
    std::vector<std::string> texts() {
        std::vector<std::string> out;
        collect(tester.tree(), out);
        return out;
    }
    bool shows(const std::string& text) {
        const auto all = texts();
        return std::find(all.begin(), all.end(), text) != all.end();
    }
    // Straight (not premultiplied) colours, so pixels read as drawn.
    QImage render(double scale = 1) { return host->renderImage(scale).convertToFormat(QImage::Format_ARGB32); }

private:
    static void collect(const AccessibilityNodeInfo& n, std::vector<std::string>& out) {
        out.insert(out.end(), n.texts.begin(), n.texts.end());
        for (const auto& c : n.children) collect(c, out);
    }
};

inline std::unique_ptr<Laid> layOut(const View& view, Size size, const EnvironmentValues& env = {}) {
    auto laid = std::make_unique<Laid>();
    laid->host->setScheduler(nullptr);
    laid->host->setEnvironment(env);
    laid->host->setSize(size);
    laid->host->setRootView(view);
    laid->tester.settle();
    return laid;
}

inline EnvironmentValues scheme(ColorScheme s, bool reduceTransparency = false) {
    EnvironmentValues env;
    env.colorScheme = s;
    env.reduceTransparency = reduceTransparency;
    return env;
}

// A full-size frame aligned top-leading, so frames read from the origin.
inline View topLeading(const View& v) {
    FrameSpec f;
    f.maxWidth = infinity;
    f.maxHeight = infinity;
    f.alignment = Alignment::topLeading;
    return v.frame(f);
}

inline QColor pixel(const QImage& image, double x, double y) {
    return QColor::fromRgba(image.pixel(int(x), int(y)));
}

// Whether a colour is close to an sRGB colour given in fractions.
inline bool near(const QColor& c, double r, double g, double b, int tolerance = 6) {
    return std::abs(c.red() - int(std::lround(r * 255))) <= tolerance &&
           std::abs(c.green() - int(std::lround(g * 255))) <= tolerance &&
           std::abs(c.blue() - int(std::lround(b * 255))) <= tolerance;
}

// The bounding box of the pixels for which `match` holds, in image pixels.
template <class Match>
QRect boundsOf(const QImage& image, Match match) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(QColor::fromRgba(image.pixel(x, y)))) box = box.united(QRect(x, y, 1, 1));
    return box;
}

// Elements an assistive tool would announce: anything labelled, identified
// or showing text (empty containers announce nothing).
inline int announcedElements(const platform::ui::AccessibilityNodeInfo& n) {
    int count = (!n.label.empty() || !n.identifier.empty() || !n.texts.empty()) ? 1 : 0;
    for (const auto& c : n.children) count += announcedElements(c);
    return count;
}

// The controls (views that take taps) of the window's content and of the
// sheets and popovers above it that draw anything inside `area`, each cut to
// the scroll views around it, by identity.
inline std::vector<std::string> controlsDrawnWithin(const ViewHost& host, Rect area) {
    const auto cut = [](Rect a, Rect b) {
        const double x = std::max(a.x, b.x), y = std::max(a.y, b.y);
        const double w = std::min(a.maxX(), b.maxX()) - x, h = std::min(a.maxY(), b.maxY()) - y;
        return w > 0 && h > 0 ? Rect{x, y, w, h} : Rect{};
    };
    std::vector<std::string> found;
    std::function<void(const Element&, Rect)> walk = [&](const Element& e, Rect shown) {
        if (!e.placed) return;
        if (scrollViewFacts(e)) shown = cut(shown, visualFrame(e));
        const Rect drawn = cut(visualFrame(e), shown);
        if (dynamic_cast<const TapNode*>(e.node.get()) && cut(drawn, area).width > 0) found.push_back(e.identity());
        for (const auto& c : e.children) walk(*c, shown);
    };
    for (const Element* root : host.layerRoots()) walk(*root, {0, 0, host.size().width, host.size().height});
    return found;
}

}  // namespace kittest
