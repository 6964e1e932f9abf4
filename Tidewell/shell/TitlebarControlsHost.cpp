#include "shell/TitlebarControlsHost.h"

#include "desktop/Window.h"
#include "kit/Theme.h"
#include "shell/RootView.h"
#include "shell/TitlebarAccessoryContainer.h"
#include "shell/TitlebarAccountControls.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View installTitlebarControls(AppStore& store, ui::View content) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    const ui::View controls = TitlebarAccountControls(store);
    const double barHeight = platform::idealSize(controls).height;
    const TitlebarAccessoryContainer container{barHeight, titlebarAreaHeight};
    const bool prompting = store.sharePrompt.get().has_value();
    const ui::View strip = ui::HStack(ui::VerticalAlignment::top, 0,
                                      {ui::Spacer(), controls.padding(ui::Edge::top, container.centerSubviewsVertically(barHeight))})
                               .frame(std::nullopt, container.height(), ui::Alignment::top)
                               .background(ui::View(Theme::windowBackground()))
                               .overlay(ui::TransitionIf(prompting, ui::Transition::opacity(),
                                                         prompting ? sharePromptScrim(store) : ui::EmptyView()));
    return ui::VStack(ui::HorizontalAlignment::center, 0, {strip, content.frame(fill)});
}

}  // namespace tidewell
