#pragma once
// The pure rules of onboarding: its three steps, what each row and the
// buttons show at a step, and what the forward button does.

#include <string>
#include <vector>

namespace tidewell {

inline constexpr int kOnboardingLastStep = 2;

struct OnboardingStep {
    std::string title;
    std::string detail;
};
const std::vector<OnboardingStep>& onboardingSteps();

struct OnboardingRowLook {
    std::string symbol;  // checked in green up to the current step, else an empty circle
    bool checked = false;
    double opacity = 1;
    double scale = 1;
    bool operator==(const OnboardingRowLook&) const = default;
};
OnboardingRowLook onboardingRowLook(int row, int step, bool reduceMotion);

enum class OnboardingButton { chooseFolders, openPrivacySettings, forward };
// Left to right.
std::vector<OnboardingButton> onboardingButtons(int step);
std::string onboardingButtonTitle(OnboardingButton button, int step);

// What the forward button does, in order.
enum class OnboardingAction { advance, saveSettings, complete, startScan };
std::vector<OnboardingAction> onboardingForwardActions(int step);

}  // namespace tidewell
