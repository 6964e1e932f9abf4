#include "ProjectDetector.h"
#include "Rules.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace tidewell::engine;

namespace {

std::string errorOf(const std::string& text) {
    try {
        parseRules(text, "test.yaml", "/home/u");
    } catch (const RulesError& e) {
        return e.what();
    }
    return "";
}

const std::string kMinimal =
    "stacks:\n"
    "  - id: node\n"
    "    label: Node\n"
    "    markers: [package.json]\n"
    "    artifacts:\n"
    "      - { path: node_modules, class: safe }\n";

std::string minimalWith(const std::string& from, const std::string& to) {
    std::string s = kMinimal;
    return s.replace(s.find(from), from.size(), to);
}

}  // namespace

TEST(Rules, BuiltInRulesAreTheBundledFile) {
    const char* src = std::getenv("TIDEWELL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(enginetest::readText(std::string(src) + "/Resources/rules/artifacts.yaml"), kBuiltinRulesText);
    const Rules r = builtinRules("/home/u");
    for (const auto& c : r.caches) EXPECT_EQ(c.path.rfind("/home/u/", 0), 0u) << "~ expands to the home folder: " << c.path;
    // Folders that can hold hand-made content are never "safe".
    for (const auto& s : r.stacks) {
        for (const auto& a : s.artifacts) {
            const std::string last = a.path.substr(a.path.rfind('/') == std::string::npos ? 0 : a.path.rfind('/') + 1);
            const bool handMade = last == "vendor" || last == ".venv" || last == "Pods";
            EXPECT_TRUE(!handMade || a.safetyClass == "caution") << s.id << " " << a.path;
        }
    }
}

TEST(Rules, MalformedRulesNameTheFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"stacks:\n  - id: node\n    markers: [package.json\n", "test.yaml, line "},  // YAML syntax
        {minimalWith("class: safe", "class: maybe"), "line 6"},                        // neither safe nor caution
        {minimalWith("class: safe", "class: maybe"), "maybe"},
        {minimalWith("path: node_modules", "path: ../escape"), "line 6"},  // climbs out of the project
        {minimalWith("path: node_modules", "path: \"x*/node_modules\""), "line 6"},  // a glob only in the last part
        {minimalWith("path: node_modules", "path: \"**/a/b\""), "line 6"},          // anywhere: one plain name
        {minimalWith("path: node_modules", "path: \"**/venv\", confirm: [{ path: pyvenv.cfg }]"), "line 6"},  // checked at a place only
        {minimalWith("class: safe", "class: safe, confirm: [{ path: ../x }]"), "line 6"},  // inside the folder only
        {kMinimal + "skip:\n  pathz: [/x]\n", "line 8"},                   // a typo is not silently ignored
        {"stacks:\n  - id: node\n    label: Node\n", "markers"},           // would match every folder or none
        {kMinimal + "  - id: node\n    label: N\n    markers: [x]\n", "line 7"},  // the same id twice
        {"- just\n- a list\n", "test.yaml"},
        {"", "test.yaml"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string error = errorOf(text);
        EXPECT_NE(error.find("test.yaml"), std::string::npos) << text << "\n-> " << error;
        EXPECT_NE(error.find(expected), std::string::npos) << text << "\n-> " << error;
    }
}

TEST(ProjectDetector, MarkersGlobsAndArtifactOrder) {
    const Rules r = builtinRules("/home/u");
    const ProjectDetector d(r);
    EXPECT_EQ(d.stacksMarkedBy(".xcodeproj"), 0u) << "a glob needs a name before the suffix";
    EXPECT_EQ(d.stacksMarkedBy("node_modules"), 0u);
    const StackMask rn = d.stacksMarkedBy("package.json") | d.stacksMarkedBy("metro.config.js");
    EXPECT_EQ(d.typeIds(rn), (std::vector<std::string>{"react_native", "node"}));
    int nodeModules = 0;
    for (const auto& a : d.artifacts(rn)) nodeModules += a.relPath == "node_modules";
    EXPECT_EQ(nodeModules, 1) << "a folder named by two stacks is listed once";
}

TEST(ProjectDetector, SkipsHiddenAndListedFolders) {
    const Rules r = builtinRules("/home/u");
    const ProjectDetector d(r);
    for (const char* p : {"/a/.config", "/proc", "/sys", "/dev", "/run", "/home/u/.local/share/Trash", "/media/x/.Trash-1000",
                          "/a/lost+found"})
        EXPECT_TRUE(d.skipsFolder(p, std::string(p).substr(std::string(p).rfind('/') + 1))) << p;
    EXPECT_FALSE(d.skipsFolder("/home/u/code", "code"));
    EXPECT_FALSE(d.skipsFolder("/procedures", "procedures"));
}

TEST(ProjectDetector, ProbeRefusesLinksAnywhereOnTheWay) {
    enginetest::TempDir t;
    enginetest::makeDirs(t / "p/android/app/build");
    enginetest::makeDirs(t / "elsewhere/app/build");
    enginetest::makeDirs(t / "p/real");
    symlink((t / "elsewhere").c_str(), (t / "p/linked").c_str());
    symlink((t / "p/real").c_str(), (t / "p/build").c_str());
    const int fd = open((t / "p").c_str(), O_RDONLY | O_DIRECTORY);
    EXPECT_EQ(probeRealFolder(fd, "android/app/build"), FolderState::RealFolder);
    EXPECT_EQ(probeRealFolder(fd, "linked/app/build"), FolderState::NotRealFolder);
    EXPECT_EQ(probeRealFolder(fd, "build"), FolderState::NotRealFolder);
    EXPECT_EQ(probeRealFolder(fd, "missing/app"), FolderState::Missing);
    EXPECT_EQ(probeRealFolder(fd, "android/none"), FolderState::Missing);
    close(fd);
}
