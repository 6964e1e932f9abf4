#include "shell/PrivacySettingsPane.h"

#include "core/AppUpdater.h"
#include "core/FolderAccess.h"
#include "kit/ForestButton.h"
#include "shell/SettingsFooter.h"
#include "social/BrowserLink.h"
#include "ui/Form.h"
#include "ui/Label.h"
#include "ui/Link.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View PrivacySettingsPane(AppStore&) {
    const ui::View promise = ui::Label("Keep your forest on-device. Paths are never uploaded.", "leaf.fill")
                                 .foregroundStyle(ui::ShapeStyle::secondary());
    const ui::View openSettings =
        ForestButton{"Open Full Disk Access", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular,
                     false, [] { openFullDiskAccessSettings(); }}
            .body()
            .disabled(true);
    return ui::Group({
        ui::Section({promise, BrowserLink("Privacy Policy", AppUpdater::privacyPageURL())}),
        ui::Section({openSettings},
                    {ui::Text("Full Disk Access"), SettingsFooter("Optional. Lets scans see protected folders on the startup disk.")}),
    });
}

}  // namespace tidewell
