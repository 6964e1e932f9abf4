#include "shell/OnboardingView.h"

#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "kit/BrandMark.h"
#include "kit/DisplayFont.h"
#include "kit/ForestButton.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
#include "kit/ScrollsWhenShort.h"
#include "shell/OnboardingRules.h"
#include "shell/RootView.h"
#include "ui/AppStorage.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Sheet.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View stepRow(int index, int step, bool reduceMotion) {
    const OnboardingStep& content = onboardingSteps()[static_cast<std::size_t>(index)];
    const OnboardingRowLook look = onboardingRowLook(index, step, reduceMotion);
    const ui::View symbol = ui::Image::systemName(look.symbol)
                                .foregroundStyle(look.checked ? ui::ShapeStyle(Theme::reclaim()) : ui::ShapeStyle::secondary())
                                .modifier(ui::symbolBounce(index == step));
    const ui::View text = ui::VStack(ui::HorizontalAlignment::leading, 2,
                                     {ui::Text(content.title).fontWeight(ui::FontWeight::semibold),
                                      // At the window's smallest height the texts keep their lines
                                      // rather than end in "…"; the outer padding gives way.
                                      ui::Text(content.detail)
                                          .font(ui::Font::callout())
                                          .foregroundStyle(ui::ShapeStyle::secondary())
                                          .fixedSize(false, true)});
    return ui::HStack(ui::VerticalAlignment::top, 12, {symbol, text})
        .modifier(ui::animatedOpacity(look.opacity))
        .modifier(ui::animatedScale(look.scale));
}

// The forward button's steps. Completing may swap the window's content at
// once, so from there on only the store and copies are used, never the view's state.
void forward(AppStore& store, ui::Binding<int> step, ui::Binding<bool> completed) {
    const int current = step.get();
    for (auto action : onboardingForwardActions(current)) {
        switch (action) {
        case OnboardingAction::advance: step.set(current + 1); break;
        case OnboardingAction::saveSettings: store.saveScanSettings(); break;
        case OnboardingAction::complete: completed.set(true); break;
        case OnboardingAction::startScan: store.startScan(); break;
        }
    }
}

ui::View buttons(AppStore& store, ui::Binding<int> step, ui::Binding<bool> completed) {
    const int current = step.get();
    ui::ViewList row;
    for (auto button : onboardingButtons(current)) {
        const std::string title = onboardingButtonTitle(button, current);
        switch (button) {
        case OnboardingButton::chooseFolders:
            row.push_back(ForestButton{title, std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::large, false,
                                       [&store] {
                                           presentScanFolderPicker(
                                               [&store](std::vector<std::string> folders) { store.addScanRoots(folders); });
                                       }});
            break;
        case OnboardingButton::openPrivacySettings:
            // No Full Disk Access gate to open on this platform; the button stays as a disabled reminder.
            row.push_back(ForestButton{title, std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::large, false,
                                       [] { openFullDiskAccessSettings(); }}
                              .body()
                              .disabled(true));
            break;
        case OnboardingButton::forward:
            row.push_back(ForestButton{title, std::nullopt, ForestButton::Tone::accent, ui::ControlSize::large, false,
                                       [&store, step, completed] {
                                           ui::withAnimation(forestSpring(), [&] { forward(store, step, completed); });
                                       }});
            break;
        }
    }
    return ui::HStack(ui::VerticalAlignment::center, 12, std::move(row));
}

ui::View onboardingBody(AppStore& store, ui::Binding<int> step, ui::Binding<bool> completed, bool reduceMotion) {
    const int current = step.get();
    ui::ViewList rows;
    for (int i = 0; i <= kOnboardingLastStep; ++i) rows.push_back(stepRow(i, current, reduceMotion));
    ui::FrameSpec cardWidth;
    cardWidth.maxWidth = 520;
    const ui::View card = ForestPanel(18, 20, true, false, std::nullopt,
                                      ui::VStack(ui::HorizontalAlignment::leading, 16, std::move(rows)))
                              .frame(cardWidth)
                              .modifier(ui::animation(forestSpring(), current));
    return ScrollsWhenShort(ui::VStack(ui::HorizontalAlignment::center, 24,
                      {
                          ui::Spacer(12),
                          BrandMark(72),
                          ui::Text("Tidewell").font(displayTitleFont(36)),
                          ui::Text("Plant a forest of your projects.\nReclaim the build files you are not using.")
                              .font(ui::Font::title3())
                              .multilineTextAlignment(ui::TextAlignment::center)
                              .foregroundStyle(ui::ShapeStyle::secondary())
                              .fixedSize(false, true),
                          card,
                          buttons(store, step, completed),
                          ui::Spacer(12),
                      })
        .padding(40)
        // The window's colour lies behind the whole window, not only behind the card's column.
        .frame(ui::FrameSpec{.maxWidth = ui::infinity, .maxHeight = ui::infinity}));
}

}  // namespace

ui::View OnboardingView(AppStore& store, ui::Binding<int> step, ui::Binding<bool> hasCompletedOnboarding) {
    return ui::EnvironmentReader([&store, step, hasCompletedOnboarding](const ui::EnvironmentValues& env) {
        // What the launch found wrong with the settings (they cannot be
        // saved, say) is told on the first window too.
        return onboardingBody(store, step, hasCompletedOnboarding, env.reduceMotion)
            .modifier(ui::footAboveSheets(errorBannerOverlay(store, env.reduceMotion)));
    });
}

ui::View OnboardingView(AppStore& store, ui::Binding<bool> hasCompletedOnboarding) {
    return ui::WithState<int>(0, [&store, hasCompletedOnboarding](ui::Binding<int> step) {
        return OnboardingView(store, step, hasCompletedOnboarding);
    });
}

ui::View OnboardingView(AppStore& store) {
    return ui::AppStorage<bool>(keys::hasCompletedOnboarding, false, [&store](ui::Binding<bool> completed) {
        return OnboardingView(store, completed);
    });
}

}  // namespace tidewell
