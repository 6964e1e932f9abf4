#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "Platform/foundation/TemporaryDirectory.h"
#include "desktop/LoginItem.h"
#include "desktop/OpenPanel.h"
#include "desktop/WakeObserver.h"
#include "foundation/Files.h"

using namespace platform;
using testing_support::TemporaryDirectory;

TEST(LoginItem, EnableWritesAnEntryThatStartsThisExecutableInTheBackground) {
    TemporaryDirectory dir;
    const auto exe = dir.write("my apps/tidewell", "#!/bin/sh\n", 0755);
    LoginItem item(dir / "autostart/tidewell.desktop", exe);
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    const auto text = readFileContents(item.entryPath()).value_or("");
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"" + exe + "\" --background\n"), std::string::npos) << text;
    item.setEnabled(false);
    EXPECT_FALSE(std::filesystem::exists(item.entryPath()));
    EXPECT_NO_THROW(item.setEnabled(false));
}

TEST(LoginItem, AnEntryForAnotherProgramIsNeitherOursNorRemoved) {
    TemporaryDirectory dir;
    const auto exe = dir.write("bin/tidewell", "", 0755);
    const auto entry = dir.write("autostart/tidewell.desktop",
                                 "[Desktop Entry]\nType=Application\nExec=/opt/other/tidewell --background\n");
    LoginItem item(entry, exe);
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(false);
    EXPECT_TRUE(std::filesystem::exists(entry));
    dir.write("autostart/tidewell.desktop", "[Other]\nExec=" + exe + "\n");
    EXPECT_FALSE(item.isEnabled()) << "only the Desktop Entry group counts";
}

TEST(LoginItem, RefusalIsThrownWithTheReason) {
    TemporaryDirectory dir;
    dir.write("file", "x");
    LoginItem item(dir / "file/autostart/tidewell.desktop", dir / "tidewell");
    EXPECT_THROW(item.setEnabled(true), std::runtime_error);
    LoginItem noProgram(dir / "autostart/tidewell.desktop", "");
    EXPECT_THROW(noProgram.setEnabled(true), std::runtime_error);
}

TEST(LoginItem, ExecQuotingRoundTrips) {
    for (std::string path : {"/usr/bin/tidewell", "/a b/t", "/we\"ird/$x/`y`/back\\slash"})
        EXPECT_EQ(firstExecArgument(quoteExecArgument(path) + " --background"), path) << path;
    EXPECT_EQ(quoteExecArgument("/usr/bin/tidewell"), "/usr/bin/tidewell");
    EXPECT_EQ(quoteExecArgument("/a b"), "\"/a b\"");
}

TEST(OpenPanel, PortalAnswersBecomeLocalPaths) {
    EXPECT_EQ(localPathsFromURIs({"file:///home/u/My%20Code", "https://x/y", "file:///a/../b/"}),
              (std::vector<std::string>{"/home/u/My Code", "/b"}));
}

TEST(WakeObserver, OnlyTheWakeHalfOfTheSignalCounts) {
    int wakes = 0;
    WakeObserver observer([&] { ++wakes; });
    observer.prepareForSleep(true);
    EXPECT_EQ(wakes, 0);
    observer.prepareForSleep(false);
    EXPECT_EQ(wakes, 1);
}
