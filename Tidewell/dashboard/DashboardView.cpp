#include "dashboard/DashboardView.h"

#include "character/CharacterSetupButton.h"
#include "character/DashboardCharacter.h"
#include "core/AppStore.h"
#include "dashboard/ForestEmptySapling.h"
#include "dashboard/ForestHeroCard.h"
#include "dashboard/ProjectTypesStrip.h"
#include "dashboard/ReclaimSideCard.h"
#include "kit/DisplayFont.h"
#include "kit/ForestPageHeader.h"
#include "kit/GrowingScanView.h"
#include "kit/RescanButton.h"
#include "kit/ScanningCompleteBadge.h"
#include "kit/SizeClass.h"
#include "ui/ProgressView.h"
#include "shell/StartupDiskCard.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

DashboardState dashboardState(bool isScanning, bool isRestoringScan, bool hasDashboard) {
    if (isScanning) return DashboardState::scanning;
    if (isRestoringScan && !hasDashboard) return DashboardState::restoring;
    if (!hasDashboard) return DashboardState::empty;
    return DashboardState::result;
}

std::string dashboardGreeting(const CharacterProfile& profile) {
    return "Hi, I'm " + characterDisplayName(profile) + "!";
}

namespace {

using Marker = std::optional<std::string>;

// Frames by bounds; a missing bound leaves that side to the content.
struct Bounds {
    std::optional<double> minWidth, idealWidth, maxWidth, minHeight, idealHeight, maxHeight;
    ui::Alignment alignment = ui::Alignment::center;
};
ui::View framed(const ui::View& view, const Bounds& b) {
    ui::FrameSpec f;
    f.minWidth = b.minWidth;
    f.idealWidth = b.idealWidth;
    f.maxWidth = b.maxWidth;
    f.minHeight = b.minHeight;
    f.idealHeight = b.idealHeight;
    f.maxHeight = b.maxHeight;
    f.alignment = b.alignment;
    return view.frame(f);
}
constexpr double inf = ui::infinity;

ui::View startupDiskCard(AppStore& store, bool matchesRowHeight, Marker marker) {
    return StartupDiskCard(store, StartupDiskCardStyle::wide, matchesRowHeight, std::move(marker));
}

// The header's trailing controls; the empty page's row has no badge and
// keeps no fixed height.
ui::View headerControls(AppStore& store, DashboardState state) {
    ui::ViewList controls;
    if (state == DashboardState::result) controls.push_back(ScanningCompleteBadge());
    if (!store.character.get().isSetUp) controls.push_back(CharacterSetupButton(store));
    controls.push_back(RescanButton(store));
    const ui::View row = ui::HStack(ui::VerticalAlignment::center, 10, std::move(controls));
    if (state == DashboardState::empty) return row;
    return framed(row.fixedSize(false, true), {.minHeight = 32});
}

ui::View header(AppStore& store, DashboardState state) {
    return ForestPageHeader("Your Development Forest", "A cleaner space helps you build better.",
                            headerControls(store, state));
}

ui::View diskCardAlone(AppStore& store) { return startupDiskCard(store, false, std::nullopt).fixedSize(false, true); }

// In a scrolling page nothing offers a height, so a scene that fills what it
// is offered would shrink to a sliver inside its minimum; offering it the
// minimum keeps it at least that tall. The stacked (compact) scene is taller
// than the minimum by itself and is left its own height.
std::optional<double> offeredMinimum(HeightClass height, double minimum) {
    return height == HeightClass::tall ? std::nullopt : std::optional(minimum);
}

ui::ViewList scanningPage(AppStore& store, WidthClass width, HeightClass height) {
    const bool tall = height == HeightClass::tall;
    ui::View scene = framed(framed(GrowingScanPage(store), {.maxWidth = inf, .maxHeight = tall ? std::optional(inf) : std::nullopt}),
                            {.minHeight = tall ? 0 : 320,
                             .idealHeight = width == WidthClass::compact ? std::nullopt : offeredMinimum(height, 320)});
    // Only the very first scan has the character standing by; it lets clicks through.
    if (!store.dashboard.get())
        scene = scene.overlay(DashboardCharacter(store, 56, std::nullopt).padding(16).allowsHitTesting(false),
                              ui::Alignment::bottomTrailing);
    return {header(store, DashboardState::scanning), diskCardAlone(store), scene};
}

ui::ViewList restoringPage(AppStore& store) {
    const ui::View waiting = ui::VStack(ui::HorizontalAlignment::center, 12,
                                        {
                                            ui::ProgressView(),
                                            ui::Text("Restoring last scan…").foregroundStyle(ui::ShapeStyle::secondary()),
                                        });
    return {diskCardAlone(store), framed(waiting, {.maxWidth = inf, .maxHeight = inf})};
}

ui::ViewList emptyPage(AppStore& store) {
    const ui::View sapling =
        ForestEmptySapling()
            .frame(220, 180)
            .clipShape(ui::RoundedRectangle(20, ui::RoundedCornerStyle::continuous))
            .overlay(DashboardCharacter(store, 54, dashboardGreeting(store.character.get())).offset(70, -8),
                     ui::Alignment::bottomTrailing);
    const ui::View invitation = ui::VStack(
        ui::HorizontalAlignment::center, 16,
        {
            sapling,
            ui::Text("No forest yet").font(displayTitleFont(24)),
            framed(ui::Text("Run a scan to grow a tree of your stacks — Flutter, React Native, Node, and more.")
                       .font(ui::Font::callout())
                       .foregroundStyle(ui::ShapeStyle::secondary())
                       .multilineTextAlignment(ui::TextAlignment::center),
                   {.maxWidth = 420}),
            RescanButton(store),
        });
    return {header(store, DashboardState::empty), diskCardAlone(store), framed(invitation, {.maxWidth = inf, .maxHeight = inf})};
}

// The three cards by width class: one row when wide, two beside each other
// over the strip when regular, all stacked when compact. Cards that share a
// row are told so, and the row keeps its ideal height, so they end level.
ui::View cardArrangement(AppStore& store, const DashboardDTO& dash, WidthClass width) {
    const ui::Alignment top = ui::Alignment::top;
    switch (width) {
    case WidthClass::wide:
        return ui::HStack(ui::VerticalAlignment::top, 12,
                          {
                              framed(startupDiskCard(store, true, "dashboard.startupDisk"),
                                     {.minWidth = 240, .idealWidth = 300, .maxWidth = 320, .maxHeight = inf, .alignment = top}),
                              framed(ReclaimSideCard(store, dash, true, "dashboard.reclaim"),
                                     {.minWidth = 280, .idealWidth = 400, .maxWidth = inf, .maxHeight = inf, .alignment = top}),
                              framed(ProjectTypesStrip(store, dash.by_type, true, "dashboard.projectTypes"),
                                     {.minWidth = 260, .maxWidth = inf, .maxHeight = inf, .alignment = top}),
                          })
            .fixedSize(false, true);
    case WidthClass::regular:
        return ui::VStack(ui::HorizontalAlignment::leading, 12,
                          {
                              ui::HStack(ui::VerticalAlignment::top, 12,
                                         {
                                             framed(startupDiskCard(store, true, "dashboard.startupDisk"),
                                                    {.minWidth = 240, .maxWidth = 320, .maxHeight = inf, .alignment = top}),
                                             framed(ReclaimSideCard(store, dash, true, "dashboard.reclaim"),
                                                    {.minWidth = 280, .maxWidth = inf, .maxHeight = inf, .alignment = top}),
                                         })
                                  .fixedSize(false, true),
                              framed(ProjectTypesStrip(store, dash.by_type, false, "dashboard.projectTypes"),
                                     {.maxWidth = inf, .alignment = top}),
                          });
    case WidthClass::compact:
        return ui::VStack(ui::HorizontalAlignment::leading, 10,
                          {
                              framed(startupDiskCard(store, false, std::nullopt), {.maxWidth = inf, .alignment = top}),
                              framed(ReclaimSideCard(store, dash, false, std::nullopt), {.maxWidth = inf, .alignment = top}),
                              framed(ProjectTypesStrip(store, dash.by_type, false, std::nullopt), {.maxWidth = inf, .alignment = top}),
                          });
    }
    return ui::EmptyView();
}

// The tree keeps the dashboard it draws. It was copied (thousands of
// projects) into every rebuild; now one copy is made per dashboard the store
// is given and shared by every build until the next one (the host drops the
// previous tree before building, so the copy is held here).
std::shared_ptr<const DashboardDTO> sharedDashboard(const AppStore& store, const DashboardDTO& dash) {
    static std::uint64_t keptVersion = 0;
    static std::shared_ptr<const DashboardDTO> kept;
    const std::uint64_t version = store.dashboard.version();
    if (!kept || version != keptVersion) {
        kept = std::make_shared<const DashboardDTO>(dash);
        keptVersion = version;
    }
    return kept;
}

ui::ViewList resultPage(AppStore& store, const DashboardDTO& dash, WidthClass width, HeightClass height) {
    const bool tall = height == HeightClass::tall;
    const ui::View hero = framed(framed(ForestHeroCard(store, sharedDashboard(store, dash)), {.maxWidth = inf, .maxHeight = tall ? std::optional(inf) : std::nullopt}),
                                 {.minHeight = tall ? 0 : 280, .idealHeight = offeredMinimum(height, 280)});
    const ui::View page = ui::VStack(ui::HorizontalAlignment::leading, width == WidthClass::compact ? 14 : 16,
                                     {header(store, DashboardState::result), cardArrangement(store, dash, width), hero});
    return {framed(page, {.maxWidth = inf, .maxHeight = inf, .alignment = ui::Alignment::top})};
}

ui::View dashboardBody(AppStore& store, WidthClass widthClass, HeightClass heightClass) {
    const std::optional<DashboardDTO>& dash = store.dashboard.get();
    ui::ViewList content;
    switch (dashboardState(store.isScanning.get(), store.isRestoringScan.get(), dash.has_value())) {
    case DashboardState::scanning: content = scanningPage(store, widthClass, heightClass); break;
    case DashboardState::restoring: content = restoringPage(store); break;
    case DashboardState::empty: content = emptyPage(store); break;
    case DashboardState::result: content = resultPage(store, *dash, widthClass, heightClass); break;
    }
    const Bounds fill{.maxWidth = inf, .maxHeight = inf, .alignment = ui::Alignment::topLeading};
    const ui::View stack =
        framed(ui::VStack(ui::HorizontalAlignment::leading, widthClass == WidthClass::compact ? 14 : 16, std::move(content)), fill);
    if (heightClass == HeightClass::tall) return framed(stack, fill);
    return framed(ui::ScrollView(ui::Axis::vertical, stack, {.showsIndicators = true}), fill);
}

}  // namespace

ui::View DashboardView(AppStore& store) {
    AppStore* s = &store;
    return ui::EnvironmentReader([s](const ui::EnvironmentValues& env) {
        return dashboardBody(*s, env.get<WidthClassKey>(), env.get<HeightClassKey>());
    });
}

}  // namespace tidewell
