#include "shell/ScanFoldersSettingsPane.h"

#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "kit/ForestButton.h"
#include "kit/ForestIconButton.h"
#include "kit/Theme.h"
#include "shell/SettingsFooter.h"
#include "shell/SettingsRules.h"
#include "ui/Form.h"
#include "ui/Image.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View rootRow(AppStore& store, const std::string& path) {
    const ScanRootRow row = scanRootRow(path, store.hasFullDiskAccess.get());
    ui::ViewList column{ui::Text(row.name).lineLimit(1).help(row.tooltip)};
    if (row.subtitle)
        column.push_back(ui::Text(*row.subtitle)
                             .font(ui::Font::caption2())
                             .foregroundStyle(ui::ShapeStyle::secondary())
                             .fixedSize(false, true));
    return ui::HStack(ui::VerticalAlignment::center, std::nullopt,
                      {
                          ui::Image::systemName(row.symbol).foregroundStyle(Theme::accent()).accessibilityHidden(true),
                          ui::VStack(ui::HorizontalAlignment::leading, 2, std::move(column)),
                          ui::Spacer(),
                          ForestIconButton{"minus", "Remove this scan folder", row.removeLabel,
                                           [&store, path] { store.removeScanRoot(path); }},
                      });
}

}  // namespace

ui::View ScanFoldersSettingsPane(AppStore& store) {
    ui::ViewList rows;
    for (const auto& path : store.scanRoots.get()) rows.push_back(rootRow(store, path).id(path));
    rows.push_back(ForestButton{"Add Folder…", "plus", ForestButton::Tone::secondary, ui::ControlSize::regular, false,
                                [&store] {
                                    // The store is the run's one instance, so it outlives the panel.
                                    presentScanFolderPicker([&store](std::vector<std::string> folders) {
                                        store.addScanRoots(folders);
                                    });
                                }});
    return ui::Section(std::move(rows),
                       {ui::Text("Scan roots"),
                        SettingsFooter("Each folder, including the startup disk, needs to be readable by you. Full Disk "
                                       "Access is optional and only reveals protected folders after that disk is "
                                       "allowed. Rescan after you change this list.")});
}

}  // namespace tidewell
