#pragma once
// Opening at login as an XDG autostart entry: a desktop file in the user's
// autostart folder that runs this executable with "--background".

#include <string>

namespace platform {

class LoginItem {
public:
    // `entryPath` is the desktop file, `executable` the program it must start.
    LoginItem(std::string entryPath, std::string executable);
    // "$XDG_CONFIG_HOME/autostart/<fileName>" for the running executable.
    static LoginItem forApplication(const std::string& fileName);

    // Enabled when the entry exists and starts this executable.
    bool isEnabled() const;
    // Writes or removes the entry; throws std::runtime_error with the
    // system's reason when that fails. Removing a missing or foreign entry
    // does nothing.
    void setEnabled(bool enabled) const;

    const std::string& entryPath() const { return entryPath_; }

private:
    std::string entryPath_;
    std::string executable_;
};

// Quoting of one argument of an Exec key, and the first argument read back.
std::string quoteExecArgument(const std::string& argument);
std::string firstExecArgument(const std::string& execValue);

}  // namespace platform
