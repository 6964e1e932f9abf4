#pragma once
// The application's login item: the autostart entry "tidewell.desktop".

namespace tidewell {

// Registers (true) or unregisters (false, only when enabled) the login item.
// Throws std::exception with the reason when the desktop refuses.
void setOpenAtLogin(bool enabled);
bool openAtLoginEnabled();

}  // namespace tidewell
