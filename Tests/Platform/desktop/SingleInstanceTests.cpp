#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "Platform/foundation/TemporaryDirectory.h"
#include "desktop/SingleInstance.h"
#include "runtime/MainActor.h"

using platform::SingleInstance;
using Args = std::vector<std::string>;

TEST(SingleInstance, MessagesKeepArgumentsRawAndRefuseWhatBreaksTheLimits) {
    const std::string tooLong(SingleInstance::maxArgumentBytes + 1, 'a');
    const std::pair<std::string, std::optional<Args>> cases[] = {
        {"", std::nullopt},
        {platform::encodeHandOver({}), Args{}},
        {platform::encodeHandOver({"Tidewell://SHARE", "--background", ""}), Args{"Tidewell://SHARE", "--background", ""}},
        {platform::encodeHandOver({"x"}).substr(0, 6), std::nullopt},
        {platform::encodeHandOver({tooLong}), std::nullopt},
        {platform::encodeHandOver(Args(SingleInstance::maxArguments + 1, "x")), std::nullopt},
    };
    for (const auto& [message, expected] : cases) EXPECT_EQ(platform::decodeHandOver(message), expected) << message.size();
    EXPECT_EQ(platform::urlArguments({"--background", "tidewell://activate?code=a%2F", "/home/x", "mailto:a@b", "1x:y", ":z"}),
              (Args{"tidewell://activate?code=a%2F", "mailto:a@b"}));
}

TEST(SingleInstance, ASecondLaunchHandsItsURLToTheFirstUnlessTheSocketIsNotThisUsers) {
    testing_support::TemporaryDirectory dir;
    std::vector<Args> received;
    SingleInstance first("tidewell", dir.path());
    ASSERT_TRUE(first.listen([&](Args arguments) { received.push_back(std::move(arguments)); }));
    EXPECT_FALSE(SingleInstance("tidewell", dir.path()).listen({})) << "an instance already answers there";

    auto launch = [&](const Args& arguments) {
        QProcess second;
        QStringList list{QString::fromStdString(dir.path())};
        for (const auto& a : arguments) list << QString::fromStdString(a);
        second.start(QStringLiteral(HANDOVER_CLIENT), list);
        const std::size_t before = received.size();
        platform::processMainEventsUntil([&] { return second.state() == QProcess::NotRunning; }, std::chrono::seconds(5));
        platform::processMainEventsUntil([&] { return received.size() > before; }, std::chrono::milliseconds(300));
        return second.exitCode();
    };
    const std::string url = "tidewell://activate?code=Ab%2Fc&code=2";
    EXPECT_EQ(launch({url, "Tidewell://Share"}), 0);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (Args{url, "Tidewell://Share"}));

    EXPECT_EQ(launch({"tidewell://share?" + std::string(SingleInstance::maxArgumentBytes, 'x')}), 0);
    EXPECT_EQ(received.size(), 1u) << "an over-long URL is dropped";

    ASSERT_EQ(::chown(first.socketPath().c_str(), 65534, 65534), 0);
    EXPECT_EQ(launch({url}), 1) << "a socket of another user is never spoken to";
    EXPECT_EQ(received.size(), 1u);
}
