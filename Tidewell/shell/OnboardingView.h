#pragma once

#include "ui/State.h"

namespace tidewell {

class AppStore;

// The first-run card of three steps with "Choose Folders…", "Open Privacy
// Settings" and the forward button, which at the last step saves the scan
// settings, completes onboarding and starts the first scan, in that order.
// Completing it bound to "hasCompletedOnboarding".
platform::ui::View OnboardingView(AppStore& store);

// The same with the completion flag bound elsewhere. Setting it may replace
// this view in its window while the forward button's action is still running.
platform::ui::View OnboardingView(AppStore& store, platform::ui::Binding<bool> hasCompletedOnboarding);

// The same with the step (0 to 2) held elsewhere.
platform::ui::View OnboardingView(AppStore& store, platform::ui::Binding<int> step,
                                  platform::ui::Binding<bool> hasCompletedOnboarding);

}  // namespace tidewell
