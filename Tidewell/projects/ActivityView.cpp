#include "projects/ActivityView.h"

#include <memory>

#include "core/AppStore.h"
#include "core/ModelTexts.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/RescanButton.h"
#include "kit/ScanningBanner.h"
#include "kit/Theme.h"
#include "projects/ActivityDaySection.h"
#include "projects/ActivityTimeline.h"
#include "ui/Image.h"
#include "ui/LazyStack.h"
#include "ui/ScrollView.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr ui::FrameSpec kTopLeadingFill{
    .maxWidth = ui::infinity, .maxHeight = ui::infinity, .alignment = ui::Alignment::topLeading};

ui::View logPanel(const std::string& log) {
    ui::FrameSpec textWidth;
    textWidth.maxWidth = ui::infinity;
    textWidth.alignment = ui::Alignment::leading;
    return ForestPanel(14, 16, false, false, std::nullopt,
                       ui::HStack(ui::VerticalAlignment::center, 10,
                                  {
                                      ui::Image::systemName("leaf.fill").foregroundStyle(Theme::reclaim()).accessibilityHidden(),
                                      ui::Text(log).frame(textWidth),
                                  }))
        .fixedSize(false, true);
}

ui::View timeline(AppStore& store, const std::vector<OperationDTO>& operations) {
    // A long history has hundreds of days: the lazy stack makes a section
    // (and its rows) only when it comes near the visible part of the list.
    const auto days = std::make_shared<const std::vector<ActivityDay>>(activityDays(operations));
    return ui::ScrollView(
        ui::LazyVStack(ui::HorizontalAlignment::leading, 0,
                       {ui::ForEachIndex(
                           days->size(), [days](std::size_t i) { return std::to_string((*days)[i].start); },
                           [&store, days](std::size_t i) { return ActivityDaySection(store, (*days)[i]); })})
            .padding(ui::Edge::bottom, 8));
}

}  // namespace

ui::View ActivityView(AppStore& store) {
    const auto& operations = store.operations.get();
    const std::string& log = store.activityLog.get();

    ui::ViewList trailing;
    if (totalReclaimedBytes(operations) > 0)
        trailing.push_back(ForestButton{"Share Total", "square.and.arrow.up", ForestButton::Tone::secondary,
                                        ui::ControlSize::regular, false, [&store] { store.shareTotal(); }});
    trailing.push_back(RescanButton(store));

    ui::ViewList page;
    page.push_back(ForestPageHeader(
        "Activity", "Cleans and previews on this computer. Restore from Files Trash if you need a folder back.",
        ui::HStack(ui::VerticalAlignment::center, 8, std::move(trailing))));
    page.push_back(ScanningBanner(store));
    if (operations.empty() && !log.empty()) page.push_back(logPanel(log));
    page.push_back((operations.empty()
                        ? ForestEmptyState("clock", "No cleans yet",
                                           "Scan and clean history stays on this computer and comes back after rebuilds.")
                        : timeline(store, operations))
                       .frame(kTopLeadingFill));
    page.push_back(ui::Text("Items are moved to Trash \u2014 restore from Files Trash if needed.")
                       .font(ui::Font::callout())
                       .foregroundStyle(ui::ShapeStyle::secondary()));
    return ui::VStack(ui::HorizontalAlignment::leading, 12, std::move(page)).frame(kTopLeadingFill);
}

}  // namespace tidewell
