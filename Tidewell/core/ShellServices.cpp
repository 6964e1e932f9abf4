#include "core/ShellServices.h"

namespace tidewell {

ShellHooks& shellHooks() {
    static ShellHooks hooks;
    return hooks;
}

void showMainWindow() {
    auto& hooks = shellHooks();
    if (hooks.bringUpMainWindow) {
        hooks.bringUpMainWindow();
        return;
    }
    if (hooks.activateFirstWindow) hooks.activateFirstWindow();
}

}  // namespace tidewell
