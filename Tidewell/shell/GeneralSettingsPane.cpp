#include "shell/GeneralSettingsPane.h"

#include "core/AppStore.h"
#include "foundation/UserDefaults.h"
#include "shell/SettingsFooter.h"
#include "shell/SettingsRules.h"
#include "ui/Form.h"
#include "ui/Picker.h"
#include "ui/Stepper.h"
#include "ui/Text.h"
#include "ui/Toggle.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View idleSection(AppStore& store) {
    // Every step is saved at once; the saved value takes effect for the next scan.
    ui::Binding<int> days([&store] { return static_cast<int>(store.idleDays.get()); },
                          [&store](int value) {
                              if (value == store.idleDays.get()) return;
                              store.idleDays = value;
                              store.saveScanSettings();
                          });
    return ui::Section({ui::Stepper(idleDaysLabel(store.idleDays.get()), days, 1, kIdleDaysMinimum, kIdleDaysMaximum)},
                       {ui::Text("Idle projects"), {}});
}

ui::View scanningSection(AppStore& store) {
    ui::Binding<bool> onLaunch([&store] { return store.scanOnLaunchEnabled.get(); },
                               [&store](bool on) {
                                   store.scanOnLaunchEnabled = on;
                                   platform::UserDefaults::standard()->setBool(keys::scanOnLaunch, on);
                               });
    std::vector<ui::PickerOption> options;
    for (auto hours : rescanChoices()) options.push_back({std::to_string(hours), rescanChoiceTitle(hours)});
    // A stored value outside the list matches no tag, so no option shows selected.
    ui::Binding<std::string> rescan([&store] { return std::to_string(store.scheduledScanHours.get()); },
                                    [&store](std::string tag) { store.setScheduledScanHours(std::stoll(tag)); });
    return ui::Section({ui::Toggle("Scan when Tidewell opens", onLaunch),
                        ui::Picker("Rescan automatically", rescan, std::move(options))},
                       {ui::Text("Scanning"), {}});
}

ui::View backgroundSection(AppStore& store) {
    // The switches show the store's fields, never their own idea of the value,
    // so an autostart entry that could not be written springs back.
    ui::Binding<bool> atLogin([&store] { return store.loginItemEnabled.get(); },
                              [&store](bool on) { store.setLoginItemEnabled(on); });
    ui::Binding<bool> automaticClean([&store] { return store.automaticCleanEnabled.get(); },
                                     [&store](bool on) { store.setAutomaticClean(on); });
    return ui::Section(
        {ui::Toggle("Open at login", atLogin), ui::Toggle("Automatic clean", automaticClean)},
        {ui::Text("Background"),
         SettingsFooter("Open at login scans in the background when you log in to this computer and shows a small "
                        "progress widget. Automatic clean prepares one evening clean of idle projects. You still "
                        "confirm before anything goes to Trash.")});
}

}  // namespace

ui::View GeneralSettingsPane(AppStore& store) {
    return ui::Group({idleSection(store), scanningSection(store), backgroundSection(store)});
}

}  // namespace tidewell
