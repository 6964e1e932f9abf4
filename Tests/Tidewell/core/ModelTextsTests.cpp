#include <cmath>

#include "StoreTestEnvironment.h"
#include "core/ModelTexts.h"
#include "core/VolumeSpace.h"
#include "runtime/Clock.h"

using namespace tidewell;
using tidewell::testing::operation;

TEST(RelativeTimeText, BoundariesOfEachUnit) {
    const std::int64_t base = 1'000'000'000;
    const auto now = platform::fromUnixSeconds(base);
    const std::pair<std::int64_t, const char*> cases[] = {
        {30, "1 min ago"},       {119, "1 min ago"},       {120, "2 min ago"},     {3599, "59 min ago"},
        {3600, "1 hr ago"},      {86399, "23 hr ago"},     {86400, "1 day ago"},   {172800, "2 days ago"},
        {604800, "1 week ago"},  {1209600, "2 weeks ago"}, {2592000, "1 month ago"}, {5184000, "2 months ago"},
        {31536000, "1 year ago"}, {63072000, "2 years ago"}, {-10, "1 min ago"},
    };
    for (auto [age, text] : cases) EXPECT_EQ(relativeTimeText(now, base - age), text) << "age " << age;
    EXPECT_EQ(relativeTimeText(now, 0), "Not used yet");
    EXPECT_EQ(relativeTimeText(now, -5), "Not used yet");
}

TEST(LastScanLabel, NeverWithoutAScanElseRelativeToTheClock) {
    EXPECT_EQ(lastScanLabel(0), "Never");
    EXPECT_EQ(lastScanLabel(-1), "Never");
    platform::ManualClock clock(platform::fromUnixSeconds(1'700'007'200));
    platform::setClockForTesting(&clock);
    EXPECT_EQ(lastScanLabel(1'700'000'000), "2 hours ago");
    platform::setClockForTesting(nullptr);
}

TEST(FormatElapsed, MinutesAreUncappedAndSecondsTruncate) {
    for (auto [seconds, text] : std::vector<std::pair<double, std::string>>{
             {0, "0:00"}, {61, "1:01"}, {59.9, "0:59"}, {3725, "62:05"}, {std::nan(""), "0:00"}})
        EXPECT_EQ(formatElapsed(seconds), text) << seconds;
}

TEST(TotalReclaimedBytes, CountsCleansNotPreviewsAndSaturates) {
    EXPECT_EQ(totalReclaimedBytes({}), 0u);
    EXPECT_EQ(totalReclaimedBytes({operation("a", 1, 100), operation("b", 2, 50, true)}), 100u);
    EXPECT_EQ(totalReclaimedBytes({operation("a", 1, UINT64_MAX), operation("b", 2, 5)}), UINT64_MAX);
}

TEST(ScanRootDisplayName, RootVolumesAndHome) {
    tidewell::testing::ScratchHome home;
    EXPECT_FALSE(rootVolumeDisplayName().empty());
    // A sibling of home is not inside it.
    for (auto [root, name] : std::vector<std::pair<std::string, std::string>>{
             {"/", rootVolumeDisplayName()}, {"//", rootVolumeDisplayName()}, {"/Volumes/Backup/", "Backup"},
             {"/media/me/Backup", "Backup"}, {home.home() + "/Projects", "~/Projects"}, {home.home(), "~"},
             {home.home() + "2/x", home.home() + "2/x"}, {"/srv/code", "/srv/code"}})
        EXPECT_EQ(scanRootDisplayName(root), name) << root;
}

TEST(VolumeSpace, NamingRules) {
    auto named = [](std::optional<std::string> localized, std::optional<std::string> plain = std::nullopt) {
        VolumeResourceValues v;
        v.localizedName = std::move(localized);
        v.name = std::move(plain);
        v.totalCapacity = 100;
        return volumeSpaceFrom(v)->name;
    };
    EXPECT_EQ(named("Macintosh HD - Data"), "Macintosh HD");
    for (const char* nameless : {"Data", " - Data", "   "}) EXPECT_EQ(named(nameless), "Startup disk") << nameless;
    EXPECT_EQ(named(std::nullopt, std::nullopt), "Startup disk");
    EXPECT_EQ(named(std::nullopt, "\n Work \n"), "Work");
    EXPECT_EQ(named("A - Data - Data B"), "A B");
}

TEST(VolumeSpace, CapacityRules) {
    VolumeResourceValues v;
    EXPECT_FALSE(volumeSpaceFrom(v).has_value());
    v.totalCapacity = 0;
    EXPECT_FALSE(volumeSpaceFrom(v).has_value());
    v.totalCapacity = 1000;
    EXPECT_EQ(volumeSpaceFrom(v)->remainingBytes, 0);
    v.availableCapacity = 300;
    EXPECT_EQ(volumeSpaceFrom(v)->remainingBytes, 300);
    v.availableCapacityForImportantUsage = 400;
    EXPECT_EQ(volumeSpaceFrom(v)->remainingBytes, 400);
}

TEST(VolumeSpace, StartupDiskIsReadFromTheHomeFolder) {
    auto disk = readStartupDisk();
    ASSERT_TRUE(disk.has_value());
    EXPECT_TRUE(disk->totalBytes > 0 && disk->remainingBytes >= 0 && disk->remainingBytes <= disk->totalBytes);
    EXPECT_FALSE(disk->name.empty());
    EXPECT_NE(disk->name, "Startup disk") << "the disk card's state text already says so";
    EXPECT_FALSE(readVolumeResourceValues("/no/such/folder").has_value());
}
