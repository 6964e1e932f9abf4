#pragma once
// The rules: stacks with their marker names and artifact folders, the global
// caches, and the folders the walk never enters. Read from YAML; the built-in
// rules are the bundled rules file compiled in.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::engine {

// A check that a folder really is what its markers or its name suggest (a
// project of a stack, a virtual environment): `path` (relative to the
// folder) exists and, when `contains` is set, its start holds that text.
struct ConfirmRule {
    std::string path;
    std::string contains;
};

struct ArtifactRule {
    // Relative to the project, "/"-separated; the last part may be a glob
    // ("cmake-build-*"). "**/NAME": a folder NAME anywhere inside the project
    // outside its other artifacts.
    std::string path;
    std::string safetyClass;  // "safe" or "caution"
    std::vector<ConfirmRule> confirm;  // any one must hold inside the folder; none listed: its place suffices
};

struct StackRule {
    std::string id;
    std::string label;
    std::vector<std::string> markers;  // names or globs ("*.xcodeproj")
    std::vector<ArtifactRule> artifacts;
    std::vector<ConfirmRule> confirm;  // any one must hold; none listed: the markers suffice
    // Names that make a project around a folder of this stack its build (a
    // CMake subfolder, a Gradle module): such a folder is no project of its
    // own and its artifacts are that project's.
    std::vector<std::string> enclosedBy;
};

struct CacheRule {
    std::string id;
    std::string label;
    std::string path;  // "~" already expanded
    std::string safetyClass;
};

struct Rules {
    std::vector<StackRule> stacks;
    std::vector<CacheRule> caches;
    std::vector<std::string> skipPaths;  // absolute, "~" already expanded
    std::vector<std::string> skipNames;  // names or globs
};

// A malformed rules file: the message names the file, the line and the fault.
class RulesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses rules text; `source` names it in errors. Throws RulesError.
Rules parseRules(std::string_view text, const std::string& source, const std::string& home);

// Reads and parses a rules file. Throws RulesError (also when it cannot be read).
Rules loadRulesFile(const std::string& path, const std::string& home);

// The compiled-in rules.
Rules builtinRules(const std::string& home);
extern const char* const kBuiltinRulesText;

}  // namespace tidewell::engine
