#pragma once
// The application bundle: executables side by side in bin/, resources in
// ../Resources, information keys in Resources/Info.plist.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Bundle {
public:
    // The running application's bundle (or the one a test installed).
    static Bundle main();
    // Installs a bundle for tests; an empty resource folder means
    // "<executable folder>/../Resources".
    static void setMainForTesting(std::string executablePath, std::string resourceDirectory = {});
    static void resetMainForTesting();

    // Empty when it cannot be determined.
    const std::string& executablePath() const { return executablePath_; }
    std::string executableDirectory() const;
    std::string resourceDirectory() const;
    // A text (or number, in decimal) under `key` of Info.plist; none when the
    // file or key is missing or the file does not read.
    std::optional<std::string> infoValue(std::string_view key) const;

private:
    Bundle(std::string executablePath, std::string resourceDirectory)
        : executablePath_(std::move(executablePath)), resourceDirectory_(std::move(resourceDirectory)) {}
    std::string executablePath_;
    std::string resourceDirectory_;
};

}  // namespace platform
