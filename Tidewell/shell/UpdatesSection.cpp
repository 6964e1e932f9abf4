#include "shell/UpdatesSection.h"

#include "core/AppUpdater.h"
#include "kit/ForestButton.h"
#include "shell/SettingsRules.h"
#include "ui/Form.h"
#include "ui/LabeledContent.h"
#include "ui/Text.h"
#include "ui/Toggle.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View UpdatesSection(AppUpdater& updater) {
    const bool running = updater.hasController();
    ui::Binding<bool> automatically([&updater] { return updater.automaticallyChecks.get(); },
                                    [&updater](bool on) { updater.setAutomaticallyChecks(on); });
    ui::ViewList rows{
        ui::LabeledContent("Tidewell", ui::Text(AppUpdater::appVersionText()).foregroundStyle(ui::ShapeStyle::secondary())),
        ui::Toggle("Automatically check for updates", automatically).disabled(!running),
        ForestButton{"Check for Updates…", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                     [&updater] { updater.checkForUpdates(); }}
            .body()
            .disabled(!updater.canCheckForUpdates.get()),
    };
    if (!running)
        rows.push_back(ui::Text(updatesOffNote()).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary()));
    return ui::Section(std::move(rows), {ui::Text("Updates"), {}});
}

}  // namespace tidewell
