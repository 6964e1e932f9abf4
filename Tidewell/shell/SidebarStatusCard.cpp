#include "shell/SidebarStatusCard.h"

namespace tidewell {

platform::ui::View SidebarStatusCard(AppStore&, bool) { return platform::ui::EmptyView(); }

}  // namespace tidewell
