#pragma once

#include <string>
#include <vector>

namespace tidewell {

// The display face's files, in lookup order: "Fonts/Fraunces.ttf", then
// "Fraunces.ttf" at the resource root, the pair looked up twice.
std::vector<std::string> bundledFontCandidates(const std::string& resourceDirectory);

// Registers the display face from the main bundle with the application's
// fonts. Once one registration succeeded, later calls do nothing; when none
// did (file missing or unreadable) the system fonts stay and the next call
// tries again. Main thread, after the application object exists.
void registerBundledFonts();

// Whether the display face has been registered in this process.
bool frauncesRegistered();

}  // namespace tidewell
