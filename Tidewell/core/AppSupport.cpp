#include "core/AppSupport.h"

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/ProcessInfo.h"

namespace tidewell {

std::string appSupportDirectory() {
    const char* name = platform::hasArgument("--ui-testing") ? "Tidewell-UITests" : "Tidewell";
    std::string folder = platform::appendPathComponent(platform::dataHomeDirectory(), name);
    platform::createDirectories(folder);  // a failure shows later, where the folder is used
    return folder;
}

}  // namespace tidewell
