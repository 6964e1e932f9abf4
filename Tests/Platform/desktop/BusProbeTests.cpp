// The look at a bus without Qt: a bus that answers, one that takes the
// connection and never speaks, one that is not there, and addresses of other
// kinds, each told apart within the deadline.

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "desktop/BusProbe.h"

using platform::BusAnswer;

namespace {

// A socket that takes every connection into its backlog and never answers.
struct SilentSocket {
    explicit SilentSocket(const std::string& path) {
        fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        listening = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 8) == 0;
    }
    ~SilentSocket() { ::close(fd); }
    int fd = -1;
    bool listening = false;
};

}  // namespace

TEST(BusProbe, TellsABusThatAnswersFromOneThatNeverSpeaksOrIsNotThere) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    testing_support::TemporaryDirectory folder;
    const std::string silentPath = folder / "silent bus";
    SilentSocket silent(silentPath);
    ASSERT_TRUE(silent.listening);
    const std::string escaped = "unix:path=" + std::string(folder / "silent%20bus");
    struct Case {
        std::string address;
        BusAnswer expected;
    };
    const std::vector<Case> cases{
        {bus.address(), BusAnswer::answered},
        {escaped, BusAnswer::silent},
        {"unix:path=" + std::string(folder / "none"), BusAnswer::absent},
        {"unix:path=" + std::string(folder / "none") + ";" + bus.address(), BusAnswer::answered},  // the first that connects
        {"unix:abstract=tidewell-test-no-such-bus", BusAnswer::absent},
        {"tcp:host=localhost,port=1", BusAnswer::unknown},
        {"disabled:", BusAnswer::absent},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::askBus(c.address, std::chrono::milliseconds(750)), c.expected) << c.address;
}

TEST(BusProbe, ASilentSessionBusIsLeftForTheRunAndAnAnsweringOneKept) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    EXPECT_EQ(platform::leaveASilentSessionBus(std::chrono::milliseconds(750)), BusAnswer::answered);
    EXPECT_EQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), bus.address());

    testing_support::TemporaryDirectory folder;
    SilentSocket silent(folder / "bus");
    ASSERT_TRUE(silent.listening);
    // No address of its own: the user's bus under the runtime folder, as libdbus finds it.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    EXPECT_EQ(platform::leaveASilentSessionBus(std::chrono::milliseconds(750)), BusAnswer::silent);
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
}
