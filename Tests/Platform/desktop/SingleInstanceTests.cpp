#include <QProcess>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "Platform/foundation/TemporaryDirectory.h"
#include "desktop/SingleInstance.h"
#include "runtime/MainActor.h"

using platform::SingleInstance;
using Args = std::vector<std::string>;

TEST(SingleInstance, ASecondLaunchHandsItsURLToTheFirstUnlessTheSocketIsNotThisUsers) {
    testing_support::TemporaryDirectory dir;
    std::vector<Args> received;
    SingleInstance first("tidewell", dir.path());
    ASSERT_TRUE(first.listen([&](Args arguments) { received.push_back(std::move(arguments)); }));
    EXPECT_FALSE(SingleInstance("tidewell", dir.path()).listen({})) << "an instance already answers there";

    // A launch whose arguments are taken is waited for until they arrive; one
    // whose arguments are dropped has a moment to show they were not.
    auto launch = [&](const Args& arguments, bool taken = false) {
        QProcess second;
        QStringList list{QString::fromStdString(dir.path())};
        for (const auto& a : arguments) list << QString::fromStdString(a);
        second.start(QStringLiteral(HANDOVER_CLIENT), list);
        const std::size_t before = received.size();
        platform::processMainEventsUntil([&] { return second.state() == QProcess::NotRunning; }, std::chrono::seconds(60));
        platform::processMainEventsUntil([&] { return received.size() > before; },
                                         taken ? std::chrono::milliseconds(60000) : std::chrono::milliseconds(300));
        return second.exitCode();
    };
    const std::string url = "tidewell://activate?code=Ab%2Fc&code=2";
    EXPECT_EQ(launch({url, "Tidewell://Share"}, true), 0);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (Args{url, "Tidewell://Share"}));

    EXPECT_EQ(launch({"tidewell://share?" + std::string(SingleInstance::maxArgumentBytes, 'x')}), 0);
    EXPECT_EQ(received.size(), 1u) << "an over-long URL is dropped";

    EXPECT_EQ(launch(Args(SingleInstance::maxArguments + 1, "x")), 0);
    EXPECT_EQ(received.size(), 1u) << "too many arguments are dropped";

    // Handing the socket to another user takes root; elsewhere that case is left out.
    if (::chown(first.socketPath().c_str(), 65534, 65534) == 0) {
        EXPECT_EQ(launch({url}), 1) << "a socket of another user is never spoken to";
        EXPECT_EQ(received.size(), 1u);
    }
    EXPECT_EQ(platform::urlArguments({"--background", url, "/home/x", "mailto:a@b", "1x:y", ":z"}), (Args{url, "mailto:a@b"}));
}
