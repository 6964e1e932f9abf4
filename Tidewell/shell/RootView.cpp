#include "shell/RootView.h"

#include "character/CharacterUnlockToast.h"
#include "dashboard/DashboardView.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/SizeClassReader.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
#include "projects/ActivityView.h"
#include "projects/CleanConfirmView.h"
#include "projects/EndOfDayView.h"
#include "projects/GlobalCachesView.h"
#include "projects/ProjectFilesSheet.h"
#include "projects/ProjectListView.h"
#include "shell/ErrorBannerSurface.h"
#include "shell/ForestSidebar.h"
#include "social/ShareCardSheet.h"
#include "social/SharePromptCard.h"
#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/NativeView.h"
#include "social/LeaderboardView.h"
#include "social/LeaderboardWebModel.h"
#include "ui/Shape.h"
#include "ui/ScrollView.h"
#include "ui/Sheet.h"
#include "ui/Text.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

RootLayout rootLayout(WidthClass widthClass) {
    switch (widthClass) {
        case WidthClass::compact: return {64, 14};
        case WidthClass::regular: return {200, 18};
        case WidthClass::wide: return {220, 20};
    }
    return {220, 20};
}

void replayQueuedClean(AppStore& store) {
    if (!store.queuedClean) return;
    AppStore::QueuedClean parked = std::move(*store.queuedClean);
    store.queuedClean.reset();
    store.requestClean(parked.projects, parked.caution);
}

namespace {

ui::View sectionPage(AppStore& store, AppSection section) {
    switch (section) {
        case AppSection::dashboard: return DashboardView(store);
        case AppSection::projects: return ProjectListPage(store);
        case AppSection::caches: return GlobalCachesView(store);
        case AppSection::activity: return ActivityView(store);
        case AppSection::leaderboard: return LeaderboardView(*LeaderboardWebModel::shared());
    }
    (void)store;
    return ui::EmptyView();
}

std::optional<ui::Animation> springUnless(bool reduceMotion) {
    return reduceMotion ? std::nullopt : std::optional(forestSpring());
}

template <class T>
ui::Binding<std::optional<T>> bind(AppStore& store, platform::Published<std::optional<T>> AppStore::*field) {
    return ui::Binding<std::optional<T>>([&store, field] { return (store.*field).get(); },
                                         [&store, field](std::optional<T> v) { (store.*field) = std::move(v); });
}

}  // namespace

ui::View sharePromptScrim(AppStore& store) {
    return ui::View(ui::Color::rgb255(5, 9, 11, 0.6)).accessibilityHidden(true).onTapGesture([&store] {
        store.sharePrompt = std::nullopt;
    });
}

namespace {

ui::View sharePromptOverlay(AppStore& store, bool reduceMotion) {
    const std::optional<ShareMoment> moment = store.sharePrompt.get();
    ui::View group = ui::EmptyView();
    if (moment) {
        group = ui::ZStack({sharePromptScrim(store), ui::TransitionIf(true, ui::Transition::scale(0.92).combined(ui::Transition::opacity()),
                                                    SharePromptCard(store, *moment))});
    }
    return ui::TransitionIf(moment.has_value(), ui::Transition::opacity(), group)
        .modifier(ui::animation(springUnless(reduceMotion), moment.has_value()));
}

ui::View unlockToastOverlay(AppStore& store, bool reduceMotion) {
    const auto accessory = store.newUnlock.get();
    ui::View toast = accessory ? ui::AboveNativeViews(CharacterUnlockToast(store, *accessory).accessibilityIdentifier("unlock.toast"))
                                     .padding(ui::Edge::top, 14)
                                     .padding(ui::Edges::horizontal())
                               : ui::EmptyView();
    return ui::TransitionIf(accessory.has_value(), ui::Transition::move(ui::Edge::top).combined(ui::Transition::opacity()), toast)
        .modifier(ui::animation(springUnless(reduceMotion), accessory.has_value()));
}

}  // namespace

ui::View errorBannerOverlay(AppStore& store, bool reduceMotion) {
    const auto error = store.lastError.get();
    ui::View banner = ui::EmptyView();
    if (error) {
        const ui::Shape rim = ui::RoundedRectangle(14, ui::RoundedCornerStyle::continuous);
        ui::View dismiss = ui::Button(ui::Image::systemName("xmark.circle.fill").foregroundStyle(ui::ShapeStyle::secondary()),
                                      [&store] {
                                          // The dismiss animates whatever the reduce-motion setting says.
                                          ui::withAnimation(forestSpring().ignoringReduceMotion(),
                                                            [&] { store.dismissBanner(); });
                                      })
                               .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                               .contentShape(ui::Rectangle())
                               .accessibilityLabel("Dismiss error");
        // A long notice scrolls past about five lines, so the strip the banner
        // takes at the window's foot leaves the pages and sheets their room.
        const ui::View text = ui::ScrollView(ui::Text(*error)
                                                 .font(ui::Font::callout())
                                                 .fixedSize(false, true)
                                                 .frame(ui::FrameSpec{.maxWidth = ui::infinity, .alignment = ui::Alignment::leading}))
                                  .frame(ui::FrameSpec{.maxHeight = 5 * ui::resolveFont(ui::Font::callout()).lineHeight});
        // Over the leaderboard's web view too: the page is cut away beneath it.
        banner = ui::AboveNativeViews(ErrorBannerSurface(
                     ui::HStack(ui::VerticalAlignment::center, 10,
                                {ui::Image::systemName("exclamationmark.triangle.fill")
                                     .foregroundStyle(Theme::caution())
                                     .accessibilityHidden(true),
                                 text, PointingHandCursorModifier(dismiss)}))
                     .overlay(rim.strokeBorder(Theme::caution().opacity(0.4), 1).allowsHitTesting(false))
                     .accessibilityIdentifier("error.banner"))
                     .padding()
                     // The strip is the window's: nothing of the pages lies beneath it.
                     .background(ui::View(Theme::windowBackground()));
    }
    return ui::TransitionIf(error.has_value(), ui::Transition::move(ui::Edge::bottom).combined(ui::Transition::opacity()),
                            banner)
        .modifier(ui::animation(springUnless(reduceMotion), error.has_value()));
}

namespace {

ui::View layout(AppStore& store, WidthClass widthClass) {
    const RootLayout sizes = rootLayout(widthClass);
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    ui::FrameSpec page = fill;
    page.alignment = ui::Alignment::topLeading;
    ui::FrameSpec fullHeight;
    fullHeight.maxHeight = ui::infinity;
    return ui::HStack(ui::VerticalAlignment::center, 0,
                      {ForestSidebar(store).frame(sizes.sidebarWidth, std::nullopt).frame(fullHeight),
                       ui::View(ui::Color::primary().opacity(0.08)).frame(1, std::nullopt),
                       sectionPage(store, store.selectedSection.get()).frame(page).padding(sizes.pagePadding)})
        .frame(fill);
}

}  // namespace

ui::View RootView(AppStore& store) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;

    ui::SheetOptions filesOptions;
    filesOptions.onDismiss = [&store] { replayQueuedClean(store); };
    // Refuses to close while the store cleans; any other close cancels through the store.
    const ui::SheetOptions confirmOptions = cleanConfirmSheetOptions(store);
    ui::SheetOptions endOfDayOptions;
    endOfDayOptions.frame.minWidth = 360, endOfDayOptions.frame.idealWidth = 480, endOfDayOptions.frame.maxWidth = 560;
    endOfDayOptions.frame.minHeight = 280, endOfDayOptions.frame.idealHeight = 360, endOfDayOptions.frame.maxHeight = 480;

    const auto files = bind(store, &AppStore::filesPopupProject);
    const auto confirm = cleanConfirmPresentation(store);
    const auto share = bind(store, &AppStore::shareSheet);
    const ui::Binding<bool> endOfDay([&store] { return store.showEndOfDay.get(); },
                                     [&store](bool v) { store.showEndOfDay = v; });

    return ui::EnvironmentReader([=, &store](const ui::EnvironmentValues& env) {
        return SizeClassReader([&store](WidthClass widthClass, HeightClass) { return layout(store, widthClass); })
            .frame(fill)
            .background(ui::View(Theme::windowBackground()))
            .modifier(ui::sheet<ProjectDTO>(
                files, [&store, files](const ProjectDTO& p) {
                    return ProjectFilesSheet(store, [files] { files.set(std::nullopt); }, p);
                },
                filesOptions))
            .modifier(ui::sheet<ProjectDTO>(
                confirm, [&store, confirm](const ProjectDTO& p) {
                    return CleanConfirmView(store, p, [confirm] { confirm.set(std::nullopt); });
                },
                confirmOptions))
            .modifier(ui::sheet(
                endOfDay, [&store, endOfDay] { return EndOfDayView(store, [endOfDay] { endOfDay.set(false); }); },
                endOfDayOptions))
            .modifier(ui::sheet<ShareMoment>(share, [&store, share](const ShareMoment& m) {
                return ShareCardSheet(store, [share] { share.set(std::nullopt); }, m);
            }))
            .overlay(sharePromptOverlay(store, env.reduceMotion))
            .overlay(unlockToastOverlay(store, env.reduceMotion), ui::Alignment::top)
            // Above the sheets too: a banner raised while one is open reads clear of its dimming,
            // in a strip of its own at the foot, so it covers none of their controls.
            .modifier(ui::footAboveSheets(errorBannerOverlay(store, env.reduceMotion)));
    });
}

}  // namespace tidewell
