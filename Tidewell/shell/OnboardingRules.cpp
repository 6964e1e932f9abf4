#include "shell/OnboardingRules.h"

namespace tidewell {

const std::vector<OnboardingStep>& onboardingSteps() {
    static const std::vector<OnboardingStep> steps{
        {"Allow your folders",
         "The first scan reads the startup disk and any other folders you add. You can change the list later in "
         "Settings."},
        {"Full Disk Access",
         "Optional. After you allow the startup disk, this reveals protected folders. Without it, those folders stay "
         "hidden."},
        {"Trash-only cleaning", "We never permanently delete. Safe vs Caution classes protect source."},
    };
    return steps;
}

OnboardingRowLook onboardingRowLook(int row, int step, bool reduceMotion) {
    const bool current = row == step;
    const bool checked = row <= step;
    return {checked ? "checkmark.circle.fill" : "circle", checked, current ? 1.0 : 0.7,
            current && !reduceMotion ? 1.01 : 1.0};
}

std::vector<OnboardingButton> onboardingButtons(int step) {
    std::vector<OnboardingButton> buttons;
    if (step == 0) buttons.push_back(OnboardingButton::chooseFolders);
    if (step == 1) buttons.push_back(OnboardingButton::openPrivacySettings);
    buttons.push_back(OnboardingButton::forward);
    return buttons;
}

std::string onboardingButtonTitle(OnboardingButton button, int step) {
    switch (button) {
    case OnboardingButton::chooseFolders: return "Choose Folders…";
    case OnboardingButton::openPrivacySettings: return "Open Privacy Settings";
    case OnboardingButton::forward: return step < kOnboardingLastStep ? "Continue" : "Grow the Forest";
    }
    return {};
}

std::vector<OnboardingAction> onboardingForwardActions(int step) {
    if (step < kOnboardingLastStep) return {OnboardingAction::advance};
    return {OnboardingAction::saveSettings, OnboardingAction::complete, OnboardingAction::startScan};
}

}  // namespace tidewell
