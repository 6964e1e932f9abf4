#include "projects/EndOfDayView.h"

#include "core/AppStore.h"
#include "core/ProtectedStacks.h"
#include "core/StoreRules.h"
#include "foundation/Formatters.h"
#include "kit/ForestButton.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/IconTile.h"
#include "kit/Theme.h"
#include "ui/ScrollView.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr std::size_t kListedProjects = 5;

ui::View projectRow(const ProjectDTO& project, std::uint64_t bytes) {
    ui::ViewList row;
    if (!project.types.empty()) row.push_back(IconTile(project.types.front(), 22, 6));
    row.push_back(ui::Text(project.name).lineLimit(1).minimumScaleFactor(0.8));
    row.push_back(ui::Spacer());
    row.push_back(ui::Text(platform::formatByteCount(bytes)).foregroundStyle(Theme::reclaim()));
    return ui::HStack(ui::VerticalAlignment::center, std::nullopt, std::move(row));
}

ui::View offerBody(const EndOfDayOffer& offer) {
    std::vector<std::pair<std::string, ui::View>> rows;
    for (const auto& row : offer.listed) rows.emplace_back(row.project.id, projectRow(row.project, row.bytes));
    return ui::VStack(ui::HorizontalAlignment::leading, 16,
                      {
                          ui::Text(endOfDaySummary(offer)).foregroundStyle(ui::ShapeStyle::secondary()),
                          ForestPanel(14, 16, false, false, std::nullopt,
                                      ui::VStack(ui::HorizontalAlignment::center, 10,
                                                 {ui::ForEachIdentified(std::move(rows))})),
                      });
}

}  // namespace

std::optional<EndOfDayOffer> endOfDayOffer(const std::optional<DashboardDTO>& dashboard,
                                           const std::set<std::string>& protectedStacks,
                                           const std::vector<ProjectDTO>& unlisted) {
    if (!dashboard) return std::nullopt;
    // The count and the rows take the projects whose bytes the summary states.
    const auto idle = idleCleanOffer(*dashboard, protectedStacks, unlisted);
    EndOfDayOffer offer;
    offer.idleBytes = idle.bytes;
    offer.idleCount = static_cast<std::int64_t>(idle.projects.size());
    for (const auto& [project, bytes] : idle.projects) {
        if (offer.listed.size() == kListedProjects) break;
        offer.listed.push_back({*project, bytes});
    }
    return offer;
}

std::string endOfDaySummary(const EndOfDayOffer& offer) {
    // The figure is what a clean of the idle projects can move, not the
    // whole scan's total, and the count is of those same projects.
    return "Reclaim " + platform::formatByteCount(offer.idleBytes) + " from " + std::to_string(offer.idleCount) +
           (offer.idleCount == 1 ? " idle project." : " idle projects.");
}

void reviewIdleProjects(AppStore& store, const std::function<void()>& dismiss) {
    store.filterIdle = true;
    store.selectedSection = AppSection::projects;
    dismiss();
}

ui::View EndOfDayView(AppStore& store, std::function<void()> dismiss) {
    const auto offer = endOfDayOffer(store.dashboard.get(), storedProtectedStacks(), store.unlistedProjects());
    ui::View buttons = ui::HStack(
        ui::VerticalAlignment::center, std::nullopt,
        {
            ui::View(ForestButton{"Remind Tomorrow", std::nullopt, ForestButton::Tone::secondary,
                                  ui::ControlSize::large, false, [dismiss] { dismiss(); }})
                .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::cancelAction())),
            ui::Spacer(),
            ui::View(ForestButton{"Review & Clean", std::nullopt, ForestButton::Tone::accent, ui::ControlSize::large,
                                  false, [&store, dismiss] { reviewIdleProjects(store, dismiss); }})
                .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::defaultAction())),
        });
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    return ui::VStack(ui::HorizontalAlignment::leading, 16,
                      {
                          ForestPageHeader("Before you go", "Clear idle growth so tomorrow\u2019s forest stays light.",
                                           ui::EmptyView()),
                          ui::ScrollView(offer ? offerBody(*offer) : ui::EmptyView()),
                          buttons,
                      })
        .padding(24)
        .frame(fill)
        .background(ui::View(Theme::windowBackground()));
}

}  // namespace tidewell
