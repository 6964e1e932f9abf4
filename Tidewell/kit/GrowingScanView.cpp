#include "kit/GrowingScanView.h"

#include "core/AppStore.h"
#include "kit/GrowingScanHero.h"
#include "kit/GrowingScanSide.h"

#include <vector>

namespace tidewell {

namespace ui = platform::ui;

std::string scanPhasePhrase(const std::string& phase, const std::string& message)
{
    if (phase == "start") return "Planting the grove";
    if (phase == "root" || phase == "walk") return "Walking the grove";
    if (phase == "project") return "Finding saplings";
    if (phase == "measure") return "Reading the rings";
    if (phase == "caches" || phase == "cache") return "Checking the undergrowth";
    if (phase == "done") return "Forest mapped";
    if (phase == "skip") return "Stepping around a thicket";
    return message.empty() ? std::string("Growing the forest") : message;
}

std::string scanPhasePhrase(const AppStore& store)
{
    const ScanSnapshot& scan = store.scanUI.get();
    return scanPhasePhrase(scan.phase, scan.message);
}

std::string shortenedPath(const std::string& path)
{
    std::vector<std::string> pieces;
    size_t begin = 0;
    while (begin <= path.size()) {
        const size_t slash = path.find('/', begin);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > begin)
            pieces.push_back(path.substr(begin, end - begin));
        if (slash == std::string::npos)
            break;
        begin = slash + 1;
    }
    if (pieces.empty())
        return path;
    std::string out;
    for (size_t i = pieces.size() > 3 ? pieces.size() - 3 : 0; i < pieces.size(); ++i) {
        if (!out.empty())
            out += '/';
        out += pieces[i];
    }
    return out;
}

std::string growingScanAccessibilityLabel(std::int64_t projectsFound, const std::string& phrase)
{
    return "Scanning the forest. " + std::to_string(projectsFound) + " projects found. " + phrase + ".";
}

std::optional<double> growingScanSideWidth(WidthClass widthClass)
{
    switch (widthClass) {
    case WidthClass::compact: return std::nullopt;
    case WidthClass::regular: return 260;
    case WidthClass::wide: return 300;
    }
    return std::nullopt;
}

ui::View GrowingScanView::body() const
{
    const ScanSnapshot& scan = store.scanUI.get();
    const double growth = store.scanGrowth.get();
    const std::string phrase = scanPhasePhrase(store);

    const ui::View hero = GrowingScanHero{growth, scan.projectsFound, scan.currentPath, phrase, reduceMotion,
                                          scan.startedAt}
                              .body();
    const ui::View side = GrowingScanSide{store, growth, phrase}.body();

    ui::FrameSpec fullWidth;
    fullWidth.maxWidth = ui::infinity;
    ui::View stack;
    if (const auto sideWidth = growingScanSideWidth(widthClass)) {
        ui::FrameSpec fullHeight;
        fullHeight.maxHeight = ui::infinity;
        // The side cards keep their own height (a short window's scrolling
        // page offers the scene less); the hero grows to match them.
        stack = ui::HStack(ui::VerticalAlignment::top, 16,
                           {
                               hero.frame(fullWidth).frame(fullHeight),
                               side.frame(*sideWidth, std::nullopt).fixedSize(false, true),
                           });
    } else {
        ui::FrameSpec tall;
        tall.minHeight = 240;
        // Where no height is offered (a scrolling page) the hero is its minimum, not a sliver in it.
        tall.idealHeight = 240;
        tall.maxHeight = ui::infinity;
        // The side panel is at most 280 high; where no height is offered (a
        // scrolling page) it is offered all 280. Cards that still do not fit
        // are cut at its foot rather than drawn over the hero above.
        ui::FrameSpec shortSide;
        shortSide.idealHeight = 280;
        shortSide.maxHeight = 280;
        shortSide.alignment = ui::Alignment::top;
        stack = ui::VStack(ui::HorizontalAlignment::leading, 16,
                           {
                               hero.frame(fullWidth).frame(tall),
                               side.frame(fullWidth).frame(shortSide).clipped(),
                           });
    }
    return stack.accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityLabel(growingScanAccessibilityLabel(scan.projectsFound, phrase));
}

ui::View GrowingScanPage(const AppStore& store)
{
    const AppStore* s = &store;
    return ui::EnvironmentReader([s](const ui::EnvironmentValues& env) {
        return GrowingScanView{*s, env.reduceMotion, widthClass(env)}.body();
    });
}

}  // namespace tidewell
