#include "projects/GlobalCachesView.h"

#include <algorithm>

#include "core/AppStore.h"
#include "foundation/Formatters.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "kit/RescanButton.h"
#include "kit/ScanningBanner.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/StackVocabulary.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"
#include "ui/Button.h"
#include "ui/Grid.h"
#include "ui/ScrollView.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr ui::FrameSpec kTopLeadingFill{
    .maxWidth = ui::infinity, .maxHeight = ui::infinity, .alignment = ui::Alignment::topLeading};

ui::View sizeBar(double ratio) {
    ui::FrameSpec track;
    track.maxWidth = ui::infinity;
    track.minHeight = track.maxHeight = 5;
    return ui::GeometryReader([ratio](const ui::GeometryProxy& proxy) {
               return ui::ZStack(ui::Alignment::leading,
                                 {
                                     ui::Capsule().fill(ui::Color::primary().opacity(0.08)),
                                     ui::Capsule()
                                         .fill(Theme::accent().opacity(0.7))
                                         .frame(std::max(6.0, proxy.size.width * ratio), std::nullopt),
                                 });
           })
        .frame(track);
}

ui::View cacheCard(const GlobalCacheDTO& cache, std::uint64_t largest) {
    ui::FrameSpec wide;
    wide.maxWidth = ui::infinity;
    wide.alignment = ui::Alignment::leading;
    const ui::View identity = ui::HStack(
        ui::VerticalAlignment::center, 8,
        {
            SymbolTile("externaldrive.fill", Theme::accent(), 32),
            ui::VStack(ui::HorizontalAlignment::leading, 1,
                       {
                           ui::Text(cache.label).font(ui::Font::subheadline().weight(ui::FontWeight::semibold)),
                           ui::Text(cache.path)
                               .font(ui::Font::system(ui::TextStyle::caption2, ui::FontDesign::monospaced))
                               .foregroundStyle(ui::ShapeStyle::secondary())
                               .lineLimit(1),
                       }),
            ui::Spacer(),
        });
    const ui::View size = ui::HStack(
        ui::VerticalAlignment::firstTextBaseline, std::nullopt,
        {
            ui::VStack(ui::HorizontalAlignment::leading, 1,
                       {
                           ui::Text(platform::formatByteCount(cache.size_bytes))
                               .font(ui::Font::callout().bold().monospacedDigit()),
                           ui::Text("On disk").font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                       }),
            ui::Spacer(),
            ui::Text("Manual only")
                .font(ui::Font::caption2().bold())
                .foregroundStyle(ui::ShapeStyle::secondary())
                .help("Tidewell measures this cache but never cleans it"),
        });
    const ui::Shape card = ui::RoundedRectangle(14, ui::RoundedCornerStyle::continuous);
    const ui::View face = ui::VStack(ui::HorizontalAlignment::leading, 10,
                                     {identity, size, sizeBar(globalCacheBarRatio(cache.size_bytes, largest))})
                              .padding(12)
                              .frame(wide)
                              .background(card.fill(ui::Color::primary().opacity(0.05)))
                              .overlay(card.strokeBorder(ui::Color::primary().opacity(0.08), 1))
                              .contentShape(card);
    return softPressButtonStyle(ui::Button(face, [path = cache.path] { revealInFinder(path); }))
        .help("Reveal this cache folder in Files");
}

}  // namespace

std::uint64_t globalCacheLargestSize(const std::optional<DashboardDTO>& dashboard) {
    std::uint64_t largest = 1;
    if (dashboard)
        for (const auto& cache : dashboard->global_caches) largest = std::max(largest, cache.size_bytes);
    return largest;
}

double globalCacheBarRatio(std::uint64_t sizeBytes, std::uint64_t largest) {
    return std::min(1.0, static_cast<double>(sizeBytes) / static_cast<double>(std::max<std::uint64_t>(largest, 1)));
}

ui::View GlobalCachesView(AppStore& store) {
    const auto& dashboard = store.dashboard.get();
    ui::View content;
    if (!dashboard || dashboard->global_caches.empty()) {
        content = ForestEmptyState("externaldrive", "No global caches sized yet",
                                   // Only the caches a Linux scan can find are named.
                                   "Rescan measures Node global packages, Homebrew, pip, emulators, Gradle, and Dart. "
                                   "Nothing in this list is cleaned automatically.");
    } else {
        const std::uint64_t largest = globalCacheLargestSize(dashboard);
        ui::ViewList cards;
        for (const auto& cache : dashboard->global_caches) cards.push_back(cacheCard(cache, largest).id(cache.id));
        content = ui::ScrollView(ui::LazyVGrid({ui::GridItem::adaptive(240, ui::infinity, 12)}, std::move(cards),
                                               ui::HorizontalAlignment::center, 12)
                                     .padding(ui::Edge::bottom, 8));
    }
    return ui::VStack(ui::HorizontalAlignment::leading, 12,
                      {
                          ForestPageHeader("Global Caches",
                                           "Measured only. Tidewell never deletes these. Open a folder in Files if "
                                           "you want to remove it yourself.",
                                           RescanButton(store)),
                          ScanningBanner(store),
                          content.frame(kTopLeadingFill),
                      })
        .frame(kTopLeadingFill);
}

}  // namespace tidewell
