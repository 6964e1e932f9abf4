#include "foundation/Bundle.h"

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/ProcessInfo.h"
#include "foundation/Utf8.h"
#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <thread>

using platform::Bundle;

TEST(Bundle, RealExecutableAndResourcesBesideIt) {
    Bundle::resetMainForTesting();
    Bundle b = Bundle::main();
    ASSERT_FALSE(b.executablePath().empty());
    EXPECT_TRUE(b.executablePath().ends_with("/platform_foundation_tests"));
    EXPECT_EQ(b.resourceDirectory(), platform::deletingLastPathComponent(b.executableDirectory()) + "/Resources");
}

TEST(Bundle, InfoValuesFromTheBundlePlist) {
    testing_support::TemporaryDirectory dir;
    dir.write("App/Resources/Info.plist",
              "<plist version=\"1.0\"><dict>"
              "<key>CFBundleShortVersionString</key><string>0.1.0</string>"
              "<key>Build</key><integer>7</integer>"
              "<key>Flag</key><true/>"
              "</dict></plist>");
    Bundle::setMainForTesting(dir / "App/bin/tidewell");
    Bundle b = Bundle::main();
    EXPECT_EQ(b.executableDirectory(), dir / "App/bin");
    EXPECT_EQ(b.resourceDirectory(), dir / "App/Resources");
    EXPECT_EQ(b.infoValue("CFBundleShortVersionString"), "0.1.0");
    EXPECT_EQ(b.infoValue("Build"), "7");
    EXPECT_FALSE(b.infoValue("Flag"));
    EXPECT_FALSE(b.infoValue("SUFeedURL"));

    dir.write("App/Resources/Info.plist", "<plist><dict><key>SUFeedURL</key>");  // broken file
    EXPECT_FALSE(Bundle::main().infoValue("SUFeedURL"));

    Bundle::setMainForTesting(dir / "App/bin/tidewell", dir / "Elsewhere");
    EXPECT_EQ(Bundle::main().resourceDirectory(), dir / "Elsewhere");
    EXPECT_FALSE(Bundle::main().infoValue("CFBundleShortVersionString"));
    Bundle::resetMainForTesting();
}

TEST(Bundle, TheBuiltBundleCarriesTheVersion) {
    const char* bundle = std::getenv("TIDEWELL_BUNDLE");
    Bundle::setMainForTesting(std::string(bundle) + "/bin/tidewell");
    auto version = Bundle::main().infoValue("CFBundleShortVersionString");
    Bundle::resetMainForTesting();
    ASSERT_TRUE(version.has_value());
    EXPECT_FALSE(version->empty());
}

TEST(ProcessInfo, ArgumentsMatchWholeElements) {
    platform::setProcessArguments({"tidewell", "--ui-testing", "--window-size=800x600"});
    EXPECT_TRUE(platform::hasArgument("--ui-testing"));
    EXPECT_FALSE(platform::hasArgument("--window-size"));
    EXPECT_FALSE(platform::hasArgument("--ui"));
    const char* argv[] = {"tidewell", "--background"};
    platform::setProcessArguments(2, argv);
    EXPECT_EQ(platform::processArguments(), (std::vector<std::string>{"tidewell", "--background"}));
    EXPECT_FALSE(platform::hasArgument("--ui-testing"));
    platform::setProcessArguments(std::vector<std::string>{});
}

TEST(ProcessInfo, EnvironmentAndMainThread) {
    testing_support::ScopedEnvironment set("TIDEWELL_TEST_VALUE", "");
    EXPECT_EQ(platform::environmentValue("TIDEWELL_TEST_VALUE"), "");  // set but empty is not unset
    EXPECT_FALSE(platform::environmentValue("TIDEWELL_SURELY_UNSET_VALUE"));
    EXPECT_TRUE(platform::isMainThread());
    bool other = true;
    std::thread([&other] { other = platform::isMainThread(); }).join();
    EXPECT_FALSE(other);
}

TEST(Utf8, ValidAndInvalidSequences) {
    for (const char* valid : {"", "plain", "naïve — ✓ \xF0\x9F\x8C\xB2"}) EXPECT_TRUE(platform::isValidUtf8(valid)) << valid;
    // Stray, cut short, overlong, a surrogate, past U+10FFFF, a lone continuation.
    for (const char* invalid : {"\xff", "\xC3", "\xE2\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"})
        EXPECT_FALSE(platform::isValidUtf8(invalid)) << invalid;
}

TEST(Files, AtomicWriteReplacesWholeAndCreatesFolders) {
    testing_support::TemporaryDirectory dir;
    const std::string file = dir / "a/b/c.json";
    ASSERT_TRUE(platform::writeFileAtomically(file, "first"));
    ASSERT_TRUE(platform::writeFileAtomically(file, "second"));
    EXPECT_EQ(platform::readFileContents(file), "second");
    EXPECT_FALSE(platform::writeFileAtomically(dir / "a/b/c.json/inside", "x"));  // a file in the way
    EXPECT_FALSE(platform::readFileContents(dir / "missing"));

    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "a new file";
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    ASSERT_TRUE(platform::writeFileAtomically(file, "third"));
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "a replaced file keeps its permissions";
}
