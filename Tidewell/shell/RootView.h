#pragma once

#include "core/AppStore.h"
#include "kit/SizeClass.h"
#include "ui/View.h"

namespace tidewell {

// The main window's content once onboarding is done: the sidebar, a hairline
// and the selected section's page, measured into size classes; and the one
// place where the store's presentation fields become sheets and overlays.
platform::ui::View RootView(AppStore& store);

// The error banner at the window's foot while the store has an error; the
// onboarding window shows it too.
platform::ui::View errorBannerOverlay(AppStore& store, bool reduceMotion);

// The dimming behind the share prompt; a tap on it sets the prompt aside.
// The top strip carries it too, so that it covers the whole window.
platform::ui::View sharePromptScrim(AppStore& store);

// The sidebar's width and the page padding of a width class.
struct RootLayout {
    double sidebarWidth = 0;
    double pagePadding = 0;
    bool operator==(const RootLayout&) const = default;
};
RootLayout rootLayout(WidthClass widthClass);

// Takes the clean the project files sheet parked, clearing it first, and
// hands it to the store; nothing when nothing is parked.
void replayQueuedClean(AppStore& store);

}  // namespace tidewell
