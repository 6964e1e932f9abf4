#include "social/LeaderboardView.h"

#include "core/AppStore.h"
#include "desktop/WebView.h"
#include "social/BrowserLink.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "social/LeaderboardLoadingState.h"
#include "social/LeaderboardWebModel.h"
#include "ui/Animation.h"
#include "ui/Environment.h"
#include "ui/NativeView.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View LeaderboardWebView(LeaderboardWebModel& model) {
    LeaderboardWebModel* m = &model;
    return ui::NativeView([m] { return m->webView().widget(); });
}

void openLeaderboardInBrowser(const LeaderboardWebModel& model) {
    openInBrowser(model.currentURL());
}

ui::View LeaderboardView(LeaderboardWebModel& model) {
    LeaderboardWebModel* m = &model;
    return LeaderboardPageBody(model).onAppear([m] { m->loadIfNeeded(); });
}

ui::View LeaderboardPageBody(LeaderboardWebModel& model) {
    LeaderboardWebModel* m = &model;
    return ui::EnvironmentReader([m](const ui::EnvironmentValues& env) {
        const bool reduceMotion = env.reduceMotion;
        m->setColorScheme(env.colorScheme == ui::ColorScheme::dark);
        const bool shown = m->hasLoaded.get() && !m->isLoading.get();
        const bool failed = m->failed.get();
        ui::FrameSpec fill;
        fill.maxWidth = ui::infinity;
        fill.maxHeight = ui::infinity;
        fill.alignment = ui::Alignment::topLeading;

        const ui::View trailing = ui::HStack(
            ui::VerticalAlignment::center, 8,
            {ForestButton{"Open in Browser", std::string("safari"), ForestButton::Tone::secondary, ui::ControlSize::regular,
                          false, [m] { openLeaderboardInBrowser(*m); }},
             ui::View(ForestButton{"Reload", std::string("arrow.clockwise"), ForestButton::Tone::secondary,
                                   ui::ControlSize::regular, false, [m] { m->load(); }})
                 .disabled(m->isLoading.get())});

        const std::optional<ui::Animation> shownAnimation =
            reduceMotion ? std::nullopt : std::optional(ui::Animation::easeOut(0.35));
        const std::optional<ui::Animation> failedAnimation =
            reduceMotion ? std::nullopt : std::optional(ui::Animation::easeOut(0.25));
        ui::View page = ui::ZStack(ui::Alignment::center,
                                   {LeaderboardWebView(*m)
                                        .frame(fill)
                                        .opacity(shown ? 1 : 0)
                                        .offset(0, shown || reduceMotion ? 0 : 8),
                                    ui::TransitionIf(!shown, ui::Transition::opacity(), LeaderboardLoadingState())})
                            .modifier(ui::animation(shownAnimation, shown));
        const ui::View content =
            ui::ZStack(ui::Alignment::center,
                       {ui::TransitionIf(failed, ui::Transition::opacity(),
                                         ForestEmptyState("wifi.exclamationmark", "Could not load the leaderboard",
                                                          "Check your connection, then choose Reload.")),
                        ui::ViewIf(!failed, page)})
                .modifier(ui::animation(failedAnimation, failed))
                .frame(fill);

        return ui::VStack(ui::HorizontalAlignment::leading, 12,
                          {ForestPageHeader("Leaderboard", "Developers ranked by the space they have reclaimed, all time.",
                                            trailing),
                           content})
            .frame(fill);
    });
}

}  // namespace tidewell
