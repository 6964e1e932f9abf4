#include "dashboard/ProjectTypesStrip.h"

#include <algorithm>
#include <cmath>

#include "core/AppStore.h"
#include "dashboard/ProjectTypeCard.h"
#include "kit/ForestButton.h"
#include "kit/ForestPanel.h"
#include "kit/ForestSpring.h"
#include "ui/Animation.h"
#include "ui/ScrollView.h"
#include "ui/State.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

double projectTypeCardWidth(double rowWidth) {
    const double w = rowWidth > 1 && std::isfinite(rowWidth) ? rowWidth : 168;
    const double n = std::max(std::floor((w + 10) / 178), 1.0);
    return (w - 10 * (n - 1)) / n;
}

std::optional<std::string> stackFilterAfterToggle(const std::optional<std::string>& current, const std::string& type) {
    if (current == type) return std::nullopt;
    return type;
}

void toggleStack(AppStore& store, const TypeSummaryDTO& summary) {
    store.filterStack = stackFilterAfterToggle(store.filterStack.get(), summary.project_type);
}

void viewAll(AppStore& store) {
    store.filterIdle = false;
    store.filterStack = std::nullopt;
    store.selectedSection = AppSection::projects;
}

namespace {

// The scrolling row's width, read by a layer behind it; the widest wins.
struct TypeStripWidthKey {
    using Value = double;
    static Value defaultValue() { return 0; }
    static void reduce(Value& value, Value next) { value = std::max(value, next); }
};

ui::View row(AppStore& store, const std::vector<TypeSummaryDTO>& summaries, double cardWidth) {
    AppStore* s = &store;
    const std::optional<std::string> filter = store.filterStack.get();
    std::vector<std::pair<std::string, ui::View>> cards;
    cards.reserve(summaries.size());
    for (const TypeSummaryDTO& summary : summaries) {
        const bool selected = filter.has_value() && *filter == summary.project_type;
        cards.emplace_back(summary.project_type,
                           ProjectTypeCard(summary, selected, [s, summary] {
                               ui::withAnimation(forestSpring(), [&] { toggleStack(*s, summary); });
                           }).frame(cardWidth, std::nullopt));
    }
    ui::ScrollViewOptions scrolling;
    scrolling.showsIndicators = false;
    scrolling.snapsToChildren = true;
    const ui::View measure = ui::GeometryReader([](const ui::GeometryProxy& proxy) {
                                 return ui::View(ui::Color::clear()).preference<TypeStripWidthKey>(proxy.size.width);
                             }).allowsHitTesting(false);
    return ui::ScrollView(ui::Axis::horizontal,
                          ui::HStack(ui::VerticalAlignment::top, 10, {ui::ForEachIdentified(std::move(cards))}), scrolling)
        .background(measure)
        // A horizontal row is as tall as its cards, not as the space left to it.
        .fixedSize(false, true);
}

}  // namespace

ui::View ProjectTypesStrip(AppStore& store, std::vector<TypeSummaryDTO> summaries, bool matchesRowHeight,
                           std::optional<std::string> cardMarkerID) {
    AppStore* s = &store;
    return ui::WithState<double>(0, [s, summaries = std::move(summaries), matchesRowHeight,
                                     cardMarkerID = std::move(cardMarkerID)](ui::Binding<double> rowWidth) {
        const ui::View header = ui::HStack(ui::VerticalAlignment::center, 8,
                                           {
                                               ui::Text("Project Types").font(ui::Font::headline()).lineLimit(1),
                                               ui::Spacer(8),
                                               ForestButton{"View All", std::nullopt, ForestButton::Tone::ghost,
                                                            ui::ControlSize::regular, false, [s] { viewAll(*s); }},
                                           });
        return ForestPanel(14, 16, true, matchesRowHeight, cardMarkerID,
                           ui::VStack(ui::HorizontalAlignment::leading, 12,
                                      {header, row(*s, summaries, projectTypeCardWidth(rowWidth.get()))}))
            .onPreferenceChange<TypeStripWidthKey>([rowWidth](double width) { rowWidth.set(width); });
    });
}

}  // namespace tidewell
