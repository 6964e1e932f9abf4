// The settings window's panes and the three onboarding steps.
#include "SampleStore.h"
#include "kit/Theme.h"
#include "ScreenshotPages.h"
#include "shell/OnboardingView.h"
#include "shell/SettingsPane.h"
#include "shell/SettingsView.h"
#include "ui/State.h"

namespace {

tidewell::AppStore& settingsStore() {
    auto& store = sampleStore();
    // One root of each kind a row can show.
    store.scanRoots = {"/", "/home/sam/Projects/", "/media/sam/Archive", "/home/sam/Developer/tidewell"};
    store.scheduledScanHours = 8;
    return store;
}

platform::ui::View pane(tidewell::SettingsPane pane) {
    return tidewell::SettingsView(settingsStore(), platform::ui::Binding<std::string>::constant(tidewell::rawValue(pane)));
}

const ScreenshotPage general("settings-general", [] { return pane(tidewell::SettingsPane::general); });
const ScreenshotPage folders("settings-folders", [] { return pane(tidewell::SettingsPane::folders); });
const ScreenshotPage account("settings-account", [] { return pane(tidewell::SettingsPane::account); });
const ScreenshotPage character("settings-character", [] { return pane(tidewell::SettingsPane::character); });
const ScreenshotPage updates("settings-updates", [] { return pane(tidewell::SettingsPane::updates); });
const ScreenshotPage privacy("settings-privacy", [] { return pane(tidewell::SettingsPane::privacy); });

platform::ui::View onboarding(int step) {
    // The main window paints its colour behind the onboarding view.
    return tidewell::OnboardingView(settingsStore(), platform::ui::Binding<int>::constant(step),
                                    platform::ui::Binding<bool>::constant(false))
        .frame(platform::ui::FrameSpec{.maxWidth = platform::ui::infinity, .maxHeight = platform::ui::infinity})
        .background(platform::ui::View(tidewell::Theme::windowBackground()));
}

const ScreenshotPage onboarding0("onboarding-0", [] { return onboarding(0); });
const ScreenshotPage onboarding1("onboarding-1", [] { return onboarding(1); });
const ScreenshotPage onboarding2("onboarding-2", [] { return onboarding(2); });

}  // namespace
