#pragma once

// The save panel: asks the user where to write a file. Behind an interface
// so tests answer without a dialog.

#include <functional>
#include <optional>
#include <string>

namespace platform {

struct SavePanelOptions {
    std::string title;
    std::string directory;      // where it opens; the home folder when empty
    std::string suggestedName;  // file name offered
    std::string extension;      // without the dot, e.g. "png"; added when the user leaves it off
};

class SavePanel {
public:
    virtual ~SavePanel() = default;
    // Calls `done` with the chosen path, or nothing when the user cancelled.
    virtual void begin(const SavePanelOptions& options, std::function<void(std::optional<std::string>)> done) = 0;

    static SavePanel& shared();
    static void setShared(SavePanel* panel);  // nullptr restores the desktop's
};

// `path` with `.extension` unless it already ends with it (any case) (pure).
std::string withExtension(const std::string& path, const std::string& extension);

}  // namespace platform
