#include "core/LoginItemService.h"

#include "desktop/LoginItem.h"

namespace tidewell {

void setOpenAtLogin(bool enabled) { platform::LoginItem::forApplication("tidewell.desktop").setEnabled(enabled); }

bool openAtLoginEnabled() { return platform::LoginItem::forApplication("tidewell.desktop").isEnabled(); }

}  // namespace tidewell
