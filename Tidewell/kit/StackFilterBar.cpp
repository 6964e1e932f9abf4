#include "kit/StackFilterBar.h"

#include <atomic>

#include "kit/StackCanopyToken.h"
#include "kit/StackFilterRules.h"
#include "kit/StackGroveAllToken.h"
#include "kit/ForestSpring.h"
#include "ui/Animation.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

using Filter = std::optional<std::string>;

namespace {

// Each bar owns its namespace, so two bars never trade selection rings.
std::string newNamespace() {
    static std::atomic<unsigned> next{0};
    return "stack-filter-bar-" + std::to_string(++next);
}

ui::View barBody(const std::vector<TypeSummaryDTO>& summaries, const ui::Binding<Filter>& filterType,
                 const std::string& chipNS, bool reduceMotion) {
    const Filter filter = filterType.get();
    const std::uint64_t maximum = stackFilterMaximum(summaries);

    // Clicks animate with the spring whatever the reduce-motion setting.
    const ui::Animation clickSpring = forestSpring().ignoringReduceMotion();
    ui::ViewList tokens;
    tokens.push_back(StackGroveAllToken(!filter.has_value(), [filterType, clickSpring] {
        ui::withAnimation(clickSpring, [&] { filterType.set(std::nullopt); });
    }));
    std::vector<std::pair<std::string, ui::View>> stacks;
    for (const auto& summary : summaries) {
        const std::string type = summary.project_type;
        stacks.emplace_back(type, StackCanopyToken(summary, stackTokenSelected(filter, type),
                                                   stackTokenDimmed(filter, type),
                                                   stackTokenScale(summary.reclaimable_bytes, maximum), chipNS,
                                                   [filterType, clickSpring, type] {
                                                       ui::withAnimation(clickSpring, [&] {
                                                           filterType.set(stackFilterAfterClick(filterType.get(), type));
                                                       });
                                                   }));
    }
    tokens.push_back(ui::ForEachIdentified(std::move(stacks)));

    ui::FrameSpec fullWidth;
    fullWidth.maxWidth = ui::infinity;
    ui::ScrollViewOptions scrolling;
    // The mouse still moves it: the wheel and a drag turn a row that scrolls sideways.
    scrolling.showsIndicators = false;
    const ui::Shape background = ui::RoundedRectangle(24, ui::RoundedCornerStyle::continuous);
    const std::optional<ui::Animation> implicit = reduceMotion ? std::nullopt : std::optional(forestSpring());
    return ui::ScrollView(ui::Axis::horizontal,
                          ui::HStack(ui::VerticalAlignment::bottom, 14, std::move(tokens))
                              .padding(ui::EdgeInsets{16, 16, 20, 16}),
                          scrolling)
        .frame(fullWidth)
        .background(background.fill(ui::Color::primary().opacity(0.05)))
        // The outline lies over the tokens; clicks go through it to them.
        .overlay(background.strokeBorder(ui::Color::primary().opacity(0.08), 1).allowsHitTesting(false))
        .fixedSize(false, true)
        .modifier(ui::animation(implicit, filter))
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityLabel("Filter by stack");
}

}  // namespace

ui::View StackFilterBar(std::vector<TypeSummaryDTO> summaries, ui::Binding<Filter> filterType) {
    return ui::WithState<std::string>(newNamespace(), [summaries = std::move(summaries),
                                                        filterType](ui::Binding<std::string> chipNS) {
        return ui::EnvironmentReader([summaries, filterType, ns = chipNS.get()](const ui::EnvironmentValues& env) {
            return barBody(summaries, filterType, ns, env.reduceMotion);
        });
    });
}

}  // namespace tidewell
