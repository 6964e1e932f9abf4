#include "foundation/UserDefaults.h"

#include "foundation/Files.h"
#include "foundation/Log.h"
#include "Platform/foundation/TemporaryDirectory.h"
#include "AsOrdinaryUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using platform::UserDefaults;
using testing_support::TemporaryDirectory;

TEST(UserDefaults, EveryKindRoundTripsThroughTheFile) {
    TemporaryDirectory dir;
    const std::string file = dir / "Tidewell/defaults.json";
    {
        UserDefaults d(file);
        d.setBool("scanOnLaunch", true);
        d.setInteger("idleDays", 30);
        d.setInteger("huge", INT64_MIN);
        d.setDouble("lastScheduledScan", 1796662920.5);
        d.setString("settings.selectedPane", "general");
        d.setStringArray("scanRoots", {"/home/me/Code", "/media/me/Disk"});
        d.setData("character.profile", {0, 1, 2, 255});
        d.setObject("tidewell.protectedStacks", nlohmann::json{{"flutter", true}, {"node", nullptr}});
        d.setStringArray("empty", {});
        d.setInteger("removed", 1);
        d.remove("removed");
        d.remove("never there");
        EXPECT_TRUE(d.lastWriteSucceeded());
    }
    UserDefaults d(file);
    EXPECT_EQ(d.boolValue("scanOnLaunch"), true);
    EXPECT_EQ(d.integerValue("idleDays"), 30);
    EXPECT_EQ(d.integerValue("huge"), INT64_MIN);
    EXPECT_EQ(d.doubleValue("lastScheduledScan"), 1796662920.5);
    EXPECT_EQ(d.stringValue("settings.selectedPane"), "general");
    EXPECT_EQ(d.stringArray("scanRoots"), (std::vector<std::string>{"/home/me/Code", "/media/me/Disk"}));
    EXPECT_EQ(d.dataValue("character.profile"), (std::vector<std::uint8_t>{0, 1, 2, 255}));
    EXPECT_EQ(d.object("tidewell.protectedStacks"), (nlohmann::json{{"flutter", true}, {"node", nullptr}}));
    EXPECT_EQ(d.stringArray("empty"), std::vector<std::string>{});
    EXPECT_EQ(d.kind("idleDays"), UserDefaults::Kind::integer);
    EXPECT_FALSE(d.contains("removed")) << "a removal is written too";
}

TEST(UserDefaults, KindsStayApartAndAMissingFileIsAnEmptyStore) {
    TemporaryDirectory dir;
    UserDefaults d(dir / "nothing/d.json");
    EXPECT_FALSE(d.contains("anything"));
    EXPECT_FALSE(std::filesystem::exists(dir / "nothing/d.json")) << "reading writes nothing";
    d.setInteger("n", 1);
    d.setDouble("x", 2.5);
    d.setString("s", "1");
    d.setBool("b", false);
    EXPECT_FALSE(d.boolValue("n"));
    EXPECT_FALSE(d.stringValue("n"));
    EXPECT_EQ(d.doubleValue("n"), 1.0);  // an integer reads as a double
    EXPECT_FALSE(d.integerValue("x"));
    EXPECT_FALSE(d.integerValue("s"));
    EXPECT_FALSE(d.integerValue("b"));
    EXPECT_FALSE(d.stringArray("s"));
    EXPECT_TRUE(d.object("b").has_value());  // present, even though false
    EXPECT_FALSE(d.object("missing").has_value());
    EXPECT_FALSE(d.contains("missing"));

    d.setString("n", "now text");  // a key may change kind
    EXPECT_FALSE(d.integerValue("n"));
    EXPECT_EQ(d.stringValue("n"), "now text");
}

TEST(UserDefaults, CorruptFilesAreKeptAsideAndTheStoreStartsEmpty) {
    const char* corrupt[] = {"{not json", "", "[]", R"({"values": 3})"};
    for (const char* text : corrupt) {
        TemporaryDirectory dir;
        const std::string file = dir.write("defaults.json", text);
        platform::LogCapture log;
        UserDefaults d(file);
        EXPECT_EQ(platform::readFileContents(file + ".corrupt"), std::string(text)) << text;
        EXPECT_FALSE(std::filesystem::exists(file)) << text;
        ASSERT_EQ(log.lines().size(), 1u) << text;
        EXPECT_NE(log.lines()[0].find("kept aside as " + file + ".corrupt"), std::string::npos);
        // The next change writes a good file again.
        d.setInteger("idleDays", 14);
        EXPECT_EQ(UserDefaults(file).integerValue("idleDays"), 14);
    }
}

TEST(UserDefaults, AFileCutShortKeepsTheEntriesReadWholeAndSaysItWasSetAside) {
    TemporaryDirectory dir;
    const std::string text = R"({"values": {"scanRoots": {"kind": "stringArray", "value": ["/a", "/b"]},)"
                             R"( "idleDays": {"kind": "integer", "value": 30}, "other": {"kind": "stringArray", "value": ["/c")";
    const std::string file = dir.write("defaults.json", text);
    UserDefaults d(file);
    EXPECT_EQ(d.stringArray("scanRoots"), (std::vector<std::string>{"/a", "/b"}));
    EXPECT_EQ(d.integerValue("idleDays"), 30);
    EXPECT_FALSE(d.contains("other")) << "an entry cut short is not taken in part";
    EXPECT_EQ(d.setAsidePath(), file + ".corrupt");
    EXPECT_EQ(platform::readFileContents(file + ".corrupt"), text);
    EXPECT_EQ(UserDefaults(dir.write("fine.json", "{\"values\": {}}")).setAsidePath(), std::nullopt);
}

TEST(UserDefaults, AFileCutShortInsideAnEntryNamesOnlyThatSettingAsUnreadable) {
    const std::string whole = R"({"values": {"idleDays": {"kind": "integer", "value": 30}, )";
    const std::pair<const char*, std::string> cuts[] = {
        {"inside a list", R"("scanRoots": {"kind": "stringArray", "value": ["/a", "/b)"},
        {"between its keys", R"("scanRoots": {"kind": "stringArray", "val)"},
        {"inside an object's value",
         R"("scanRoots": {"kind": "object", "value": {"flutter": true, "nested": {"kind": "x", "value": [1, )"},
    };
    for (const auto& [where, cut] : cuts) {
        TemporaryDirectory dir;
        UserDefaults d(dir.write("defaults.json", whole + cut));
        EXPECT_EQ(d.unreadableKeys(), std::vector<std::string>{"scanRoots"}) << where;
        EXPECT_EQ(d.integerValue("idleDays"), 30) << where;
        EXPECT_TRUE(d.setAsidePath().has_value()) << where;
    }
}

TEST(UserDefaults, AValueOfAnotherKindIsCopiedAsideBeforeItIsReplaced) {
    TemporaryDirectory dir;
    const std::string text = R"({"values": {"character.lifetimeBytes": {"kind": "double", "value": 1.5e9}}})";
    const std::string file = dir.write("defaults.json", text);
    UserDefaults d(file);
    EXPECT_EQ(d.integerValue("character.lifetimeBytes"), std::nullopt);
    d.setInteger("character.lifetimeBytes", 0);
    EXPECT_EQ(platform::readFileContents(file + ".corrupt"), text);
    EXPECT_EQ(UserDefaults(file).integerValue("character.lifetimeBytes"), 0);

    std::filesystem::remove(file + ".corrupt");
    d.setDouble("character.lifetimeBytes", 2.5);  // an integer reads as a double: nothing lost
    d.setObject("character.lifetimeBytes", 3);
    EXPECT_FALSE(std::filesystem::exists(file + ".corrupt"));
}

TEST(UserDefaults, ALaterCopyKeepsWhatAnEarlierCopyHeld) {
    TemporaryDirectory dir;
    const std::string file = dir.write("defaults.json", R"({"values": {"a": {"kind": "integer", "value": "seven"},)"
                                                        R"( "d": {"kind": "double", "value": 0.5}}})");
    UserDefaults d(file);          // "a" is skipped, and kept in the copy
    d.setInteger("x", 1);          // the file no longer holds "a"
    d.setInteger("d", 2);          // "d" is copied aside: "a" stays there too
    const auto copy = nlohmann::json::parse(platform::readFileContents(file + ".corrupt").value_or("null"));
    EXPECT_EQ(copy["values"]["a"]["value"], "seven");
    EXPECT_EQ(copy["values"]["d"]["value"], 0.5);

    // A whole file set aside earlier is not overwritten by a later one.
    dir.write("other.json.corrupt", "{cut");
    const std::string other = dir.write("other.json", "{also cut");
    EXPECT_EQ(UserDefaults(other).setAsidePath(), other + ".corrupt-2");
    EXPECT_EQ(platform::readFileContents(other + ".corrupt"), "{cut");
}

TEST(UserDefaults, ASettingsCopySetAsideEarlierIsNeverOverwrittenByALaterOne) {
    TemporaryDirectory dir;
    const std::string file = dir / "defaults.json";
    auto damaged = [](const std::string& root) {
        return R"({"values": {"scanRoots": {"kind": "stringArray", "value": ")" + root + R"("}}})";
    };
    dir.write("defaults.json", damaged("/first"));
    {
        UserDefaults d(file);
        EXPECT_EQ(d.unreadableKeys(), std::vector<std::string>{"scanRoots"});
        d.setStringArray("scanRoots", {"/"});
    }
    UserDefaults(file).setInteger("idleDays", 7);  // nothing unreadable: no copy
    dir.write("defaults.json", damaged("/second"));
    (void)UserDefaults(file);
    UserDefaults again(file);  // a second launch on the same file keeps no second copy of it
    again.setStringArray("scanRoots", {"/"});
    EXPECT_EQ(platform::readFileContents(file + ".corrupt"), damaged("/first")) << "the earlier copy is as it was";
    EXPECT_EQ(platform::readFileContents(file + ".corrupt-2"), damaged("/second"));
    EXPECT_FALSE(std::filesystem::exists(file + ".corrupt-3"));

    // A value of another kind about to be replaced goes beside the copies too.
    dir.write("defaults.json", R"({"values": {"scanRoots": {"kind": "string", "value": "/third"}}})");
    UserDefaults(file).setStringArray("scanRoots", {"/"});
    EXPECT_EQ(platform::readFileContents(file + ".corrupt"), damaged("/first"));
    EXPECT_EQ(platform::readFileContents(file + ".corrupt-3"),
              std::string(R"({"values": {"scanRoots": {"kind": "string", "value": "/third"}}})"));
}

TEST(UserDefaults, ABadEntryIsSkippedAndTheOthersLoad) {
    const char* bad[] = {R"({"kind": "integer", "value": "seven"})", R"({"kind": "martian", "value": 1})",
                         R"({"value": 1})", R"({"kind": "stringArray", "value": ["x", 2]})", "3"};
    for (const char* entry : bad) {
        TemporaryDirectory dir;
        const std::string text = std::string(R"({"values": {"a": )") + entry +
                                 R"(, "idleDays": {"kind": "integer", "value": 30}}})";
        const std::string file = dir.write("defaults.json", text);
        platform::LogCapture log;
        UserDefaults d(file);
        EXPECT_FALSE(d.contains("a")) << entry;
        EXPECT_EQ(d.integerValue("idleDays"), 30) << entry;
        EXPECT_EQ(platform::readFileContents(file + ".corrupt"), text) << "the bad entry is kept in the copy";
        ASSERT_EQ(log.lines().size(), 1u) << entry;
        EXPECT_NE(log.lines()[0].find("skipped 1 unreadable entries"), std::string::npos) << log.lines()[0];
    }
}

TEST(UserDefaults, WritesLeaveNoTemporaryFilesAndSurviveAnUnwritableFolder) {
    TemporaryDirectory dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir / "conf";
    UserDefaults d(folder + "/defaults.json");
    d.setInteger("a", 1);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 1u);

    // Root writes anywhere: the folder refuses its own user.
    for (const auto& entry : {folder, folder + "/defaults.json"})
        ASSERT_EQ(::chown(entry.c_str(), testsupport::kNobody, testsupport::kNobody), 0);
    auto protectAndChange = [&] {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        platform::LogCapture log;
        d.setInteger("a", 2);
        EXPECT_FALSE(d.lastWriteSucceeded());
        EXPECT_EQ(d.integerValue("a"), 2);  // kept in memory
        EXPECT_EQ(log.lines().size(), 1u);
        std::fflush(stdout);
        return !::testing::Test::HasFailure();
    };
    EXPECT_EQ(testsupport::asOrdinaryUser(protectAndChange), 0);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
    EXPECT_EQ(UserDefaults(folder + "/defaults.json").integerValue("a"), 1);  // the old file is intact
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary file left";
}

// No settings file yet, and the nearest folder there cannot take it (or the
// folders on its way): said at opening, as for a file that is there, and
// nothing is made. Root makes nothing in another user's folder.
TEST(UserDefaults, ANewFileWhoseFolderCannotTakeItIsNamedAtOpeningAndNothingIsMade) {
    struct Layout {
        const char* what;
        bool asRoot;
        uid_t configOwner;
        mode_t configMode;
        bool settingsFolder;  // "config/Tidewell" is there, the config folder's owner's, at that mode
        std::optional<std::string> why;
    };
    const uid_t nobody = testsupport::kNobody;
    const Layout layouts[] = {
        {"its folder read-only", false, nobody, 0555, true, "its folder is read-only"},
        {"the config folder root's", false, 0, 0755, false, "its folder belongs to another user"},
        {"the config folder read-only", false, nobody, 0555, false, "its folder is read-only"},
        {"as root, its folder read-only", true, 0, 0555, true, "its folder is read-only"},
        {"as root, the config folder another user's", true, nobody, 0755, false, "its folder belongs to another user"},
        {"the user's own config folder", false, nobody, 0755, false, std::nullopt},
    };
    for (const auto& l : layouts) {
        TemporaryDirectory dir;
        ::chmod(dir.path().c_str(), 0755);
        const std::string config = dir / "config";
        std::filesystem::create_directories(l.settingsFolder ? config + "/Tidewell" : config);
        const std::string made = l.settingsFolder ? config + "/Tidewell" : config;
        ASSERT_EQ(::chown(config.c_str(), l.configOwner, l.configOwner), 0);
        ASSERT_EQ(::chown(made.c_str(), l.configOwner, l.configOwner), 0);
        ASSERT_EQ(::chmod(made.c_str(), l.configMode), 0);
        const std::string file = config + "/Tidewell/defaults.json";
        auto openAndChange = [&] {
            UserDefaults d(file);
            EXPECT_EQ(d.unwritableFileReason(), l.why);
            d.setBool("hasCompletedOnboarding", true);
            EXPECT_EQ(d.lastWriteSucceeded(), !l.why);
            EXPECT_EQ(d.boolValue("hasCompletedOnboarding"), true) << "kept in memory";
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(l.asRoot ? !openAndChange() : testsupport::asOrdinaryUser(openAndChange), 0) << l.what;
        EXPECT_EQ(std::filesystem::exists(file), !l.why) << l.what;
        if (l.why && !l.settingsFolder) {
            EXPECT_FALSE(std::filesystem::exists(config + "/Tidewell")) << l.what;
        }
    }
}

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string thirtyIdleDays = R"({"values": {"idleDays": {"kind": "integer", "value": 30}}})";

std::string deletingLastPathComponentOf(const std::string& path) { return std::filesystem::path(path).parent_path(); }
std::string lastPathComponentOf(const std::string& path) { return std::filesystem::path(path).filename(); }

}  // namespace

// The user protects the file, or its folder, while the application runs: the
// next save leaves the file as it is and says why, once, as root or as its
// owner. Through a link, the folder protected is the one it points into.
TEST(UserDefaults, AFileProtectedAfterOpeningIsNotOverwrittenAtTheNextSave) {
    enum class Protect { file, folder, linkedFolder };
    struct Protection {
        const char* what;
        bool asRoot;
        uid_t folderOwner;
        Protect protect;
        mode_t mode;
        const char* why;
    };
    const uid_t nobody = testsupport::kNobody;
    const Protection protections[] = {
        {"the file made read-only", false, nobody, Protect::file, 0444, "it is read-only"},
        {"the file made read-only, as root", true, 0, Protect::file, 0444, "it is read-only"},
        {"its folder made read-only", false, nobody, Protect::folder, 0555, "its folder is read-only"},
        {"its folder made read-only, as root", true, 0, Protect::folder, 0555, "its folder is read-only"},
        {"another user's folder made read-only, as root", true, nobody, Protect::folder, 0555, "its folder is read-only"},
        {"the folder a link points into made read-only", false, nobody, Protect::linkedFolder, 0555,
         "its folder is read-only"},
        {"its folder made unsearchable", false, nobody, Protect::folder, 0600, "Permission denied"}};
    for (const auto& p : protections) {
        TemporaryDirectory dir;
        ::chmod(dir.path().c_str(), 0755);
        const bool linked = p.protect == Protect::linkedFolder;
        const std::string file = linked ? dir / "Tidewell/defaults.json" : dir.write("Tidewell/defaults.json", thirtyIdleDays);
        const std::string written = linked ? dir.write("dotfiles/tidewell.json", thirtyIdleDays) : file;
        if (linked) {
            std::filesystem::create_directories(dir / "Tidewell");
            std::filesystem::create_symlink("../dotfiles/tidewell.json", file);
        }
        const std::string folder = deletingLastPathComponentOf(written);
        // Root's own file, in a folder that may be another user's.
        const uid_t owner = p.asRoot ? 0 : nobody;
        for (const auto& entry : {dir / "Tidewell", folder})
            ASSERT_EQ(::chown(entry.c_str(), p.folderOwner, p.folderOwner), 0);
        ASSERT_EQ(::lchown(written.c_str(), owner, owner), 0);
        auto openProtectAndChange = [&] {
            UserDefaults d(file);
            int refusals = 0;
            const auto watch = d.observeRefusal([&] { ++refusals; });
            d.setInteger("scheduledScanHours", 4);
            EXPECT_TRUE(d.lastWriteSucceeded());
            EXPECT_EQ(::chmod(p.protect == Protect::file ? file.c_str() : folder.c_str(), p.mode), 0);
            d.setInteger("idleDays", 14);
            EXPECT_FALSE(d.lastWriteSucceeded());
            EXPECT_EQ(d.unwritableFileReason(), p.why);
            EXPECT_EQ(d.integerValue("idleDays"), 14) << "kept in memory";
            d.remove("scheduledScanHours");
            EXPECT_EQ(refusals, 1) << "told once";
            EXPECT_EQ(::chmod(folder.c_str(), 0755), 0);
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(p.asRoot ? !openProtectAndChange() : testsupport::asOrdinaryUser(openProtectAndChange), 0) << p.what;
        const auto onFile = platform::readFileContents(written).value_or("");
        EXPECT_NE(onFile.find("\"scheduledScanHours\""), std::string::npos) << p.what;
        EXPECT_NE(onFile.find("\"value\": 30"), std::string::npos) << p.what << ": the file is as it was left";
        EXPECT_EQ(namesIn(dir / "Tidewell"), std::vector<std::string>{"defaults.json"}) << p.what;
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{lastPathComponentOf(written)}) << p.what;
        EXPECT_TRUE(!linked || std::filesystem::is_symlink(file)) << p.what;
    }
}

TEST(UserDefaults, AFileThisUserCannotReadIsNeverWrittenOver) {
    // In a folder of the user's own, where a new file could take its place.
    struct Refusal {
        const char* what;
        uid_t owner;
        mode_t mode;
    };
    const Refusal refusals[] = {{"another owner's file", 0, 0600},
                                {"the user's own file, mode 000", testsupport::kNobody, 0}};
    const std::string text = R"({"values": {"character.lifetimeBytes": {"kind": "integer", "value": 7000000000},)"
                             R"( "hasCompletedOnboarding": {"kind": "bool", "value": true}}})";
    for (const auto& refusal : refusals) {
        TemporaryDirectory dir;
        ::chmod(dir.path().c_str(), 0755);
        const std::string file = dir.write("Tidewell/defaults.json", text, refusal.mode);
        ASSERT_EQ(::chown((dir / "Tidewell").c_str(), testsupport::kNobody, testsupport::kNobody), 0);
        ASSERT_EQ(::chown(file.c_str(), refusal.owner, refusal.owner), 0);
        auto openAndChange = [&] {
            platform::LogCapture log;
            UserDefaults d(file);
            EXPECT_EQ(d.unreadableFileReason(), "Permission denied");
            EXPECT_FALSE(d.contains("hasCompletedOnboarding")) << "the store starts with defaults";
            d.setBool("hasCompletedOnboarding", true);
            d.setInteger("character.lifetimeBytes", 5);
            d.remove("hasCompletedOnboarding");
            EXPECT_EQ(d.integerValue("character.lifetimeBytes"), 5) << "changes live in memory";
            EXPECT_FALSE(d.lastWriteSucceeded());
            EXPECT_EQ(d.setAsidePath(), std::nullopt);
            EXPECT_TRUE(log.contains(platform::logIdentity() + " user defaults in " + file +
                                     " cannot be read: Permission denied; running on defaults in memory, "
                                     "the file left as it is"));
            std::fflush(stdout);
            return !::testing::Test::HasFailure();
        };
        EXPECT_EQ(testsupport::asOrdinaryUser(openAndChange), 0) << refusal.what;
        EXPECT_EQ(platform::readFileContents(file), text) << refusal.what;
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir / "Tidewell"))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"defaults.json"}) << refusal.what << ": no copy, no new file";
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, refusal.owner) << refusal.what << ": the same file, not one put in its place";
    }
}


// Settings kept elsewhere (a dotfiles folder) and linked into place: every
// write reaches the file the link points to, and the link stays a link.
TEST(UserDefaults, ASettingsFileThatIsALinkIsWrittenWhereItPointsAndTheLinkStays) {
    struct Layout {
        const char* what;
        std::vector<std::pair<std::string, std::string>> links;  // link, what it points to
    };
    TemporaryDirectory dir;
    const Layout layouts[] = {
        {"an absolute link", {{"conf/defaults.json", dir / "dotfiles/tidewell.json"}}},
        {"a relative link", {{"conf/defaults.json", "../dotfiles/tidewell.json"}}},
        {"a link to a link", {{"conf/defaults.json", "other.json"}, {"conf/other.json", "../dotfiles/tidewell.json"}}},
    };
    for (const auto& layout : layouts) {
        std::filesystem::remove_all(dir / "conf");
        std::filesystem::create_directories(dir / "conf");
        const std::string target = dir.write("dotfiles/tidewell.json", thirtyIdleDays);
        for (const auto& [link, to] : layout.links) std::filesystem::create_symlink(to, dir / link);
        const std::string file = dir / "conf/defaults.json";
        UserDefaults d(file);
        EXPECT_EQ(d.integerValue("idleDays"), 30) << layout.what;
        d.setInteger("idleDays", 14);
        EXPECT_TRUE(d.lastWriteSucceeded()) << layout.what;
        for (const auto& [link, to] : layout.links) {
            ASSERT_TRUE(std::filesystem::is_symlink(dir / link)) << layout.what << ": " << link;
            EXPECT_EQ(std::filesystem::read_symlink(dir / link), to) << layout.what;
        }
        EXPECT_EQ(UserDefaults(target).integerValue("idleDays"), 14) << layout.what << ": the linked file holds it";
        EXPECT_EQ(namesIn(dir / "dotfiles"), std::vector<std::string>{"tidewell.json"}) << layout.what;
        EXPECT_EQ(namesIn(dir / "conf").size(), layout.links.size()) << layout.what << ": no file beside the link";
    }
}

// A damaged file reached through a link is set aside beside the file itself,
// as are copies of entries that cannot be read; the link stays and the next
// write goes through it again.
TEST(UserDefaults, ADamagedFileReachedThroughALinkIsSetAsideBesideItsTarget) {
    const std::string cutShort = R"({"values": {"idleDays": {"kind": "integer", "value": 30}, "scanRo)";
    const std::string badEntry = R"({"values": {"a": {"kind": "integer", "value": "x"},)"
                                 R"( "idleDays": {"kind": "integer", "value": 30}}})";
    for (const auto& text : {cutShort, badEntry}) {
        TemporaryDirectory dir;
        const std::string target = dir.write("dotfiles/tidewell.json", text);
        std::filesystem::create_directories(dir / "conf");
        const std::string file = dir / "conf/defaults.json";
        std::filesystem::create_symlink("../dotfiles/tidewell.json", file);
        UserDefaults d(file);
        EXPECT_EQ(d.integerValue("idleDays"), 30) << text;
        if (text == cutShort) {
            EXPECT_EQ(d.setAsidePath(), target + ".corrupt");
        }
        EXPECT_EQ(platform::readFileContents(target + ".corrupt"), text) << "the damaged file is kept beside itself";
        ASSERT_TRUE(std::filesystem::is_symlink(file)) << text;
        d.setInteger("idleDays", 14);
        EXPECT_TRUE(std::filesystem::is_symlink(file)) << text;
        EXPECT_EQ(UserDefaults(target).integerValue("idleDays"), 14) << text;
        EXPECT_EQ(namesIn(dir / "conf"), std::vector<std::string>{"defaults.json"}) << text;
        EXPECT_EQ(namesIn(dir / "dotfiles"), (std::vector<std::string>{"tidewell.json", "tidewell.json.corrupt"}))
            << text;
    }
}

// A link that leads nowhere a write can go replaces nothing: a link into a
// folder that is not there (a dotfiles disk not mounted), a loop, a file this
// user may not write. A link to a file not made yet gets that file.
TEST(UserDefaults, ALinkToNowhereWritableIsNeverReplaced) {
    TemporaryDirectory dir;
    std::filesystem::create_directories(dir / "conf");
    std::filesystem::create_directories(dir / "dotfiles");
    {
        const std::string file = dir / "conf/new.json";
        std::filesystem::create_symlink("../dotfiles/new.json", file);
        UserDefaults d(file);
        EXPECT_EQ(d.unreadableFileReason(), std::nullopt) << "a file not made yet";
        d.setInteger("idleDays", 14);
        EXPECT_TRUE(d.lastWriteSucceeded());
        EXPECT_TRUE(std::filesystem::is_symlink(file));
        EXPECT_EQ(UserDefaults(dir / "dotfiles/new.json").integerValue("idleDays"), 14);
    }
    {
        const std::string file = dir / "conf/unmounted.json";
        std::filesystem::create_symlink(dir / "media/disk/tidewell.json", file);
        platform::LogCapture log;
        UserDefaults d(file);
        d.setInteger("idleDays", 14);
        EXPECT_FALSE(d.lastWriteSucceeded());
        EXPECT_EQ(d.integerValue("idleDays"), 14) << "kept in memory";
        EXPECT_TRUE(std::filesystem::is_symlink(file));
        EXPECT_FALSE(std::filesystem::exists(dir / "media")) << "no folder made where a disk belongs";
        EXPECT_TRUE(log.contains(platform::logIdentity() + " user defaults could not be written to " +
                                 dir / "media/disk/tidewell.json"));
    }
    {
        const std::string file = dir / "conf/loop.json";
        std::filesystem::create_symlink("loop2.json", file);
        std::filesystem::create_symlink("loop.json", dir / "conf/loop2.json");
        UserDefaults d(file);
        EXPECT_EQ(d.unreadableFileReason(), "Too many levels of symbolic links");
        d.setInteger("idleDays", 14);
        EXPECT_FALSE(d.lastWriteSucceeded());
        EXPECT_TRUE(std::filesystem::is_symlink(file));
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "conf/loop2.json"));
    }
    // Another owner's file in a folder of the user's own, where a new file
    // could take its place; the link in the user's own folder too.
    ::chmod(dir.path().c_str(), 0755);
    const std::string target = dir.write("shared/tidewell.json", thirtyIdleDays, 0644);
    const std::string file = dir / "mine/defaults.json";
    std::filesystem::create_directories(dir / "mine");
    std::filesystem::create_symlink(target, file);
    for (const char* folder : {"shared", "mine"})
        ASSERT_EQ(::lchown((dir / folder).c_str(), testsupport::kNobody, testsupport::kNobody), 0);
    ASSERT_EQ(::lchown(file.c_str(), testsupport::kNobody, testsupport::kNobody), 0);
    auto openAndChange = [&] {
        platform::LogCapture log;
        UserDefaults d(file);
        EXPECT_EQ(d.integerValue("idleDays"), 30);
        d.setInteger("idleDays", 14);
        EXPECT_FALSE(d.lastWriteSucceeded());
        EXPECT_EQ(d.integerValue("idleDays"), 14) << "kept in memory";
        EXPECT_EQ(d.unwritableFileReason(), "it belongs to another user");
        EXPECT_TRUE(log.contains(platform::logIdentity() + " user defaults in " + file +
                                 " cannot be saved: it belongs to another user; changes kept in memory, the file "
                                 "left as it is"));
        std::fflush(stdout);
        return !::testing::Test::HasFailure();
    };
    EXPECT_EQ(testsupport::asOrdinaryUser(openAndChange), 0);
    EXPECT_EQ(platform::readFileContents(target), thirtyIdleDays);
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(namesIn(dir / "shared"), std::vector<std::string>{"tidewell.json"});
    EXPECT_EQ(namesIn(dir / "mine"), std::vector<std::string>{"defaults.json"});
}

TEST(UserDefaults, NonFiniteDoublesAndBadUtf8DoNotBreakTheFile) {
    TemporaryDirectory dir;
    const std::string file = dir / "d.json";
    {
        UserDefaults d(file);
        d.setDouble("nan", std::nan(""));
        d.setString("bytes", std::string("a\xff") + "b");
        d.setInteger("ok", 5);
    }
    platform::LogCapture log;
    UserDefaults d(file);
    EXPECT_EQ(d.integerValue("ok"), 5);
    EXPECT_TRUE(d.doubleValue("nan").has_value());
    EXPECT_TRUE(log.lines().empty());
}

TEST(UserDefaults, ConcurrentWritersLoseNothing) {
    TemporaryDirectory dir;
    const std::string file = dir / "d.json";
    UserDefaults d(file);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&d, t] {
            for (int i = 0; i < 25; ++i) d.setInteger("k" + std::to_string(t) + "-" + std::to_string(i), i);
        });
    for (auto& thread : threads) thread.join();
    UserDefaults reread(file);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 25; ++i) EXPECT_EQ(reread.integerValue("k" + std::to_string(t) + "-" + std::to_string(i)), i);
}

TEST(UserDefaults, StandardFilesLiveInTheConfigFolder) {
    TemporaryDirectory dir;
    testing_support::ScopedEnvironment config("XDG_CONFIG_HOME", dir.path().c_str());
    EXPECT_EQ(UserDefaults::standardFilePath(), dir.path() + "/Tidewell/defaults.json");
    EXPECT_EQ(UserDefaults::standardFilePath("defaults-uitests.json"), dir.path() + "/Tidewell/defaults-uitests.json");
}
