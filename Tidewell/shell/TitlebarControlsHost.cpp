#include "shell/TitlebarControlsHost.h"

#include "kit/Theme.h"
#include "shell/RootView.h"
#include "shell/TitlebarAccountControls.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View installTitlebarControls(AppStore& store, ui::View content) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    const bool prompting = store.sharePrompt.get().has_value();
    const ui::View strip = ui::HStack(ui::VerticalAlignment::center, 0, {ui::Spacer(), TitlebarAccountControls(store)})
                               .frame(std::nullopt, titlebarStripHeight)
                               .background(ui::View(Theme::windowBackground()))
                               .overlay(ui::TransitionIf(prompting, ui::Transition::opacity(),
                                                         prompting ? sharePromptScrim(store) : ui::EmptyView()));
    return ui::VStack(ui::HorizontalAlignment::center, 0, {strip, content.frame(fill)});
}

}  // namespace tidewell
