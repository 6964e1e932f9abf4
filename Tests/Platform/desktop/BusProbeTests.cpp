// The look at a bus without Qt: a bus that answers, one that takes the
// connection and never speaks, one that is not there, and addresses of other
// kinds, each told apart within the deadline.

#include <gtest/gtest.h>

#include <cstdlib>

#include "Platform/foundation/TemporaryDirectory.h"
#include "PrivateSessionBus.h"
#include "SilentSocket.h"
#include "desktop/BusProbe.h"

using platform::BusAnswer;

using testing_support::SilentSocket;

namespace {

// Silence is only ever told once the patience has run out, so a short one
// keeps those cases quick; a bus that answers may be slow to on a busy
// machine, so it gets all the time a test may take.
std::chrono::milliseconds patienceExpecting(BusAnswer answer) {
    return answer == BusAnswer::silent ? std::chrono::milliseconds(750) : std::chrono::minutes(1);
}

}  // namespace

TEST(BusProbe, TellsABusThatAnswersFromOneThatNeverSpeaksOrIsNotThere) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    testing_support::TemporaryDirectory folder;
    const std::string silentPath = folder / "silent bus";
    SilentSocket silent(silentPath);
    ASSERT_TRUE(silent.isListening());
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
    for (const Case& c : cases) EXPECT_EQ(platform::askBus(c.address, patienceExpecting(c.expected)), c.expected) << c.address;
}

TEST(BusProbe, ASilentSessionBusIsLeftForTheRunAndAnAnsweringOneKept) {
    testing_support::PrivateSessionBus bus;
    ASSERT_TRUE(bus.isRunning()) << "dbus-daemon could not start";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str(), 1);
    EXPECT_EQ(platform::leaveASilentSessionBus(patienceExpecting(BusAnswer::answered)), BusAnswer::answered);
    EXPECT_EQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), bus.address());

    testing_support::TemporaryDirectory folder;
    SilentSocket silent(folder / "bus");
    ASSERT_TRUE(silent.isListening());
    // No address of its own: the user's bus under the runtime folder, as libdbus finds it.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    EXPECT_EQ(platform::leaveASilentSessionBus(patienceExpecting(BusAnswer::silent)), BusAnswer::silent);
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
}
