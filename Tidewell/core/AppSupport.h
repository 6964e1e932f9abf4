#pragma once

#include <string>

namespace tidewell {

// The application's data folder: "Tidewell" under the user's data folder, or
// "Tidewell-UITests" when launched with "--ui-testing". Created (with its
// parents) on every call; returned even when it could not be created. The
// engine keeps its database here, the application its own files.
std::string appSupportDirectory();

}  // namespace tidewell
