#include "ProjectDetector.h"
#include "Rules.h"

#include "EngineTestSupport.h"

#include <gtest/gtest.h>

using namespace tidewell::engine;

namespace {

Rules parse(const std::string& text) { return parseRules(text, "test.yaml", "/home/u"); }

std::string errorOf(const std::string& text) {
    try {
        parse(text);
    } catch (const RulesError& e) {
        return e.what();
    }
    return "";
}

const char* kMinimal =
    "stacks:\n"
    "  - id: node\n"
    "    label: Node\n"
    "    markers: [package.json]\n"
    "    artifacts:\n"
    "      - { path: node_modules, class: safe }\n";

}  // namespace

TEST(Rules, BuiltInRulesAreTheBundledFile) {
    const char* src = std::getenv("TIDEWELL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(enginetest::readText(std::string(src) + "/Resources/rules/artifacts.yaml"), kBuiltinRulesText);
}

TEST(Rules, BuiltInRulesCoverTheStackAndCacheVocabulary) {
    const Rules r = builtinRules("/home/u");
    std::vector<std::string> ids;
    for (const auto& s : r.stacks) ids.push_back(s.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"flutter", "react_native", "android", "ios", "node", "php", "python", "rust", "go"}));
    for (const char* cache : {"node_global", "pip", "android_emulators", "android_packages", "tool_caches", "homebrew",
                              "ios_archives", "device_support"}) {
        const auto it = std::find_if(r.caches.begin(), r.caches.end(), [&](const CacheRule& c) { return c.id == cache; });
        ASSERT_NE(it, r.caches.end()) << cache;
        EXPECT_EQ(it->path.rfind("/home/u/", 0), 0u) << "~ expands to the home folder: " << it->path;
    }
    // Folders that can hold hand-made content are never "safe".
    for (const auto& s : r.stacks) {
        for (const auto& a : s.artifacts) {
            const std::string last = a.path.substr(a.path.rfind('/') == std::string::npos ? 0 : a.path.rfind('/') + 1);
            if (last == "vendor" || last == ".venv" || last == "Pods") {
                EXPECT_EQ(a.safetyClass, "caution") << s.id << " " << a.path;
            }
        }
    }
    // The walk stays out of the system folders and the Trash.
    for (const char* p : {"/proc", "/sys", "/dev", "/run", "/home/u/.local/share/Trash"})
        EXPECT_NE(std::find(r.skipPaths.begin(), r.skipPaths.end(), p), r.skipPaths.end()) << p;
}

TEST(Rules, MalformedRulesNameTheirLine) {
    // YAML syntax error
    EXPECT_NE(errorOf("stacks:\n  - id: node\n    markers: [package.json\n").find("test.yaml, line "), std::string::npos);
    // a class that is neither safe nor caution, on line 6
    std::string bad = kMinimal;
    bad.replace(bad.find("class: safe"), 11, "class: maybe");
    EXPECT_NE(errorOf(bad).find("line 6"), std::string::npos) << errorOf(bad);
    EXPECT_NE(errorOf(bad).find("maybe"), std::string::npos);
    // an artifact path that climbs out of the project
    bad = kMinimal;
    bad.replace(bad.find("path: node_modules"), 18, "path: ../escape");
    EXPECT_NE(errorOf(bad).find("line 6"), std::string::npos) << errorOf(bad);
    // an unknown key (a typo) is not silently ignored
    EXPECT_NE(errorOf(std::string(kMinimal) + "skip:\n  pathz: [/x]\n").find("line 8"), std::string::npos);
    // a stack without markers would match every folder or none
    EXPECT_NE(errorOf("stacks:\n  - id: node\n    label: Node\n").find("markers"), std::string::npos);
    // duplicate ids
    EXPECT_NE(errorOf(std::string(kMinimal) + "  - id: node\n    label: N\n    markers: [x]\n").find("line 7"), std::string::npos);
    // not a mapping at all
    EXPECT_FALSE(errorOf("- just\n- a list\n").empty());
    EXPECT_FALSE(errorOf("").empty());
}

TEST(Rules, MissingRulesFileIsAnError) {
    EXPECT_THROW(loadRulesFile("/nonexistent/rules.yaml", "/home/u"), RulesError);
}

TEST(ProjectDetector, MarkersGlobsAndArtifactOrder) {
    const Rules r = builtinRules("/home/u");
    const ProjectDetector d(r);
    EXPECT_EQ(d.typeIds(d.stacksMarkedBy("package.json")), std::vector<std::string>{"node"});
    EXPECT_EQ(d.typeIds(d.stacksMarkedBy("App.xcodeproj")), std::vector<std::string>{"ios"});
    EXPECT_EQ(d.stacksMarkedBy(".xcodeproj"), 0u) << "a glob needs a name before the suffix";
    EXPECT_EQ(d.stacksMarkedBy("node_modules"), 0u);
    EXPECT_EQ(d.stacksMarkedBy("package.json.bak"), 0u);
    const StackMask rn = d.stacksMarkedBy("package.json") | d.stacksMarkedBy("metro.config.js");
    EXPECT_EQ(d.typeIds(rn), (std::vector<std::string>{"react_native", "node"}));
    int nodeModules = 0;
    for (const auto& a : d.artifacts(rn)) nodeModules += a.relPath == "node_modules";
    EXPECT_EQ(nodeModules, 1) << "a folder named by two stacks is listed once";
    EXPECT_EQ(d.maxArtifactDepth(), 3);
}

TEST(ProjectDetector, SkipsHiddenAndListedFolders) {
    const Rules r = builtinRules("/home/u");
    const ProjectDetector d(r);
    EXPECT_TRUE(d.skipsFolder("/a/.config", ".config"));
    EXPECT_TRUE(d.skipsFolder("/proc", "proc"));
    EXPECT_TRUE(d.skipsFolder("/home/u/.local/share/Trash", "Trash"));
    EXPECT_TRUE(d.skipsFolder("/media/x/.Trash-1000", ".Trash-1000"));
    EXPECT_TRUE(d.skipsFolder("/a/lost+found", "lost+found"));
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
