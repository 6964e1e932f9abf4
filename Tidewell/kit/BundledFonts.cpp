#include "kit/BundledFonts.h"

#include <QFontDatabase>
#include <QString>

#include <filesystem>

#include "foundation/Bundle.h"

namespace tidewell {
namespace {

bool registered = false;

}  // namespace

std::vector<std::string> bundledFontCandidates(const std::string& resourceDirectory) {
    if (resourceDirectory.empty()) return {};
    const std::filesystem::path resources(resourceDirectory);
    const std::string inFonts = (resources / "Fonts" / "Fraunces.ttf").string();
    const std::string atRoot = (resources / "Fraunces.ttf").string();
    return {inFonts, atRoot, inFonts, atRoot};
}

void registerBundledFonts() {
    if (registered) return;
    for (const auto& candidate : bundledFontCandidates(platform::Bundle::main().resourceDirectory())) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(candidate, error)) continue;
        if (QFontDatabase::addApplicationFont(QString::fromStdString(candidate)) != -1) {
            registered = true;
            return;
        }
    }
}

bool frauncesRegistered() { return registered; }

}  // namespace tidewell
