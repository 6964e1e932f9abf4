#include "KitGalleryPage.h"

#include "core/AppStore.h"
#include "kit/BrandMark.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/IconTile.h"
#include "kit/RescanButton.h"
#include "kit/ScanningBanner.h"
#include "kit/ScanningCompleteBadge.h"
#include "kit/SizeClassReader.h"
#include "kit/StackBadge.h"
#include "kit/StackFilterBar.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"
#include "ui/Text.h"

namespace kitgallery {

namespace ui = platform::ui;
using tidewell::ForestButton;

namespace {

ui::View caption(const std::string& text) {
    return ui::Text(text).font(ui::Font::caption().weight(ui::FontWeight::semibold)).foregroundStyle(ui::ShapeStyle::secondary());
}

ui::View section(const std::string& title, ui::View content) {
    return tidewell::ForestPanel(16, 18, false, false, std::nullopt,
                                 ui::VStack(ui::HorizontalAlignment::leading, 10, {caption(title), content}));
}

ui::View buttons() {
    using Tone = ForestButton::Tone;
    auto b = [](std::string title, std::optional<std::string> image, Tone tone,
                ui::ControlSize size = ui::ControlSize::regular) {
        return ForestButton{std::move(title), std::move(image), tone, size, false, [] {}}.body();
    };
    return ui::VStack(ui::HorizontalAlignment::leading, 10,
                      {
                          ui::HStack(ui::VerticalAlignment::center, 10,
                                     {b("Scan", "arrow.clockwise", Tone::accent), b("Clean", "leaf.fill", Tone::reclaim),
                                      b("Clean with caution", "exclamationmark.triangle.fill", Tone::caution),
                                      b("Settings", "gearshape", Tone::secondary), b("Learn more", std::nullopt, Tone::ghost)}),
                          ui::HStack(ui::VerticalAlignment::center, 10,
                                     {b("Large", "arrow.clockwise", Tone::accent, ui::ControlSize::large),
                                      b("Small", std::nullopt, Tone::secondary, ui::ControlSize::small),
                                      b("Mini", std::nullopt, Tone::reclaim, ui::ControlSize::mini),
                                      b("Disabled", "xmark", Tone::accent).disabled(true),
                                      b("Disabled", std::nullopt, Tone::secondary).disabled(true)}),
                          ForestButton{"Expanded", "square.and.arrow.up", Tone::accent, ui::ControlSize::regular, true, [] {}}
                              .body(),
                      });
}

ui::View stackPictures() {
    ui::ViewList small, large, tiles, symbols, badges;
    for (auto id : tidewell::knownStackIds()) {
        const std::string type(id);
        small.push_back(tidewell::StackIcon(type, 16));
        large.push_back(tidewell::StackIcon(type, 28));
        tiles.push_back(tidewell::IconTile(type, 28, 8));
        symbols.push_back(tidewell::SymbolTile(tidewell::stackSymbol(type), tidewell::stackIconTint(type), 28));
    }
    for (const char* id : {"flutter", "react_native", "node", "rust", "python", "Flutter"})
        badges.push_back(tidewell::StackBadge(id));
    auto row = [](std::string label, ui::ViewList views) {
        return ui::HStack(ui::VerticalAlignment::center, 10,
                          {caption(std::move(label)).frame(ui::FrameSpec{.minWidth = 70, .alignment = ui::Alignment::leading}),
                           ui::HStack(ui::VerticalAlignment::center, 8, std::move(views))});
    };
    return ui::VStack(ui::HorizontalAlignment::leading, 10,
                      {row("16 pt", std::move(small)), row("28 pt", std::move(large)), row("Icon tiles", std::move(tiles)),
                       row("Symbols", std::move(symbols)), row("Badges", std::move(badges))});
}

ui::View brandMarks() {
    return ui::HStack(ui::VerticalAlignment::center, 14,
                      {tidewell::BrandMark(56), tidewell::BrandMark(40), tidewell::BrandMark(18),
                       tidewell::BrandMark(40, nullptr), ui::Text("Tidewell").font(ui::Font::title2().bold())});
}

std::vector<tidewell::TypeSummaryDTO> summaries() {
    auto s = [](std::string type, std::int64_t count, std::uint64_t total, std::uint64_t reclaimable) {
        tidewell::TypeSummaryDTO d;
        d.project_type = type;
        d.label = tidewell::stackDisplayName(type);
        d.project_count = count;
        d.total_bytes = total;
        d.reclaimable_bytes = reclaimable;
        return d;
    };
    return {s("flutter", 4, 9'400'000'000, 6'100'000'000), s("node", 12, 7'000'000'000, 3'800'000'000),
            s("rust", 3, 5'200'000'000, 2'050'000'000), s("python", 1, 400'000'000, 90'000'000),
            s("go", 2, 0, 0), s("android", 1, 1'000'000'000, 1'500'000'000)};
}

}  // namespace

ui::View galleryPage(tidewell::AppStore& store, ui::Binding<std::optional<std::string>> filter) {
    const ui::View header = tidewell::ForestPageHeader(
        "Forest kit", "Every shared component of the pages, on the live store",
        ui::HStack(ui::VerticalAlignment::center, 10, {tidewell::ScanningCompleteBadge().frame(std::nullopt, 26), tidewell::RescanButton(store)}));
    const ui::View sizeClasses = tidewell::SizeClassReader([](tidewell::WidthClass w, tidewell::HeightClass h) {
        const char* width = w == tidewell::WidthClass::compact ? "compact" : w == tidewell::WidthClass::regular ? "regular" : "wide";
        const char* height = h == tidewell::HeightClass::tall ? "tall" : "short";
        return caption(std::string("Size classes of this page: ") + width + ", " + height);
    });
    return ui::VStack(ui::HorizontalAlignment::leading, 16,
                      {
                          header,
                          tidewell::ScanningBanner(store),
                          section("Brand mark (logo at 56, 40, 18; leaf stand-in)", brandMarks()),
                          section("Forest buttons", buttons()),
                          section("Stack icons and tiles", stackPictures()),
                          tidewell::StackFilterBar(summaries(), filter),
                          ui::HStack(ui::VerticalAlignment::top, 16,
                                     {tidewell::ForestPanel(18, 22, true, false, std::string("gallery-card"),
                                                            tidewell::ForestEmptyState(
                                                                "leaf", "Nothing to reclaim",
                                                                "No project under your folders has build output to move "
                                                                "to the Trash. Scan again after your next build."))
                                          .frame(std::nullopt, 230),
                                      section("Size-class reader", sizeClasses.frame(320, 24))}),
                      })
        .padding(28)
        .frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity, .alignment = ui::Alignment::topLeading})
        .background(tidewell::Theme::windowBackground());
}

}  // namespace kitgallery
