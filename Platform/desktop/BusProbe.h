#pragma once
// Whether a D-Bus bus answers, asked without Qt. Qt's D-Bus support waits for
// a bus's greeting without limit, on the one thread all its connections share,
// and the platform plugin connects from the main thread before the first frame
// (accessibility, the tray, the desktop's theme). A bus that takes the
// connection and never speaks would hold the window for ever; this look holds
// it for a deadline at most.

#include <chrono>
#include <optional>
#include <string>

namespace platform {

enum class BusAnswer {
    answered,  // the bus authenticated us and answered Hello
    silent,    // it took the connection but said nothing in time
    absent,    // nothing listens there (or the address is disabled)
    unknown,   // a kind of address this look does not speak (tcp, launchd, autolaunch)
};

// Connects to `address` (the D-Bus address syntax; the first unix entry that
// connects), authenticates as this user and says Hello, waiting at most
// `patience` in all. Never blocks longer.
BusAnswer askBus(const std::string& address, std::chrono::milliseconds patience);

// The session bus's address as libdbus finds it: the environment's, else the
// user's bus under XDG_RUNTIME_DIR; nullopt when neither names one.
std::optional<std::string> sessionBusAddress();
// The system bus's address: the environment's, else the standard socket.
std::string systemBusAddress();

// Asks the session bus before any window exists; when it has not answered
// within `patience`, it is left for the whole run (the environment then names a
// disabled bus, so Qt and every library it loads fail at once instead of
// waiting). Returns what the bus answered.
BusAnswer leaveASilentSessionBus(std::chrono::milliseconds patience);

}  // namespace platform
