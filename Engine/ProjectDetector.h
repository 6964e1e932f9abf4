#pragma once
// What makes a folder a project, which of its folders are artifacts, and which
// folders the search for projects leaves alone.

#include "Rules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tidewell::engine {

using StackMask = std::uint64_t;  // bit i: the i-th stack of the rules

inline constexpr const char* kPinFile = ".tidewell-keep";

struct ArtifactSpec {
    std::string relPath;
    std::string safetyClass;
    std::vector<ConfirmRule> confirm;  // any one must hold inside the folder
};

class ProjectDetector {
public:
    explicit ProjectDetector(const Rules& rules);

    // The stacks that name `entry` (a file or folder name) as a marker.
    StackMask stacksMarkedBy(std::string_view entry) const;

    // Stack ids and labels of a mask, in rules order.
    std::vector<std::string> typeIds(StackMask mask) const;

    // The artifact folders of the stacks in `mask` at fixed places (the last
    // part may be a glob), in rules order, each path once (the first stack that
    // names it gives its class).
    std::vector<ArtifactSpec> artifacts(StackMask mask) const;

    // The stacks that take a folder named `name` anywhere inside their projects.
    StackMask anywhereStacks(std::string_view name) const;
    // Its class for the first of the stacks in `mask` that takes it.
    std::string anywhereClass(std::string_view name, StackMask mask) const;
    bool hasAnywhereArtifacts() const { return !anywhere_.empty(); }
    // The stacks that take some folder anywhere inside their projects.
    StackMask anywhereStackMask() const { return anywhereMask_; }

    // The stacks whose folders below a project holding `entry` are modules of
    // that project's build, not projects of their own.
    StackMask stacksEnclosedBy(std::string_view entry) const;
    // The stacks that can be modules of a build around them.
    StackMask enclosableStackMask() const { return enclosableMask_; }

    // `found` without the stacks whose confirmation fails in the folder `fd`.
    StackMask confirmed(int fd, StackMask found) const;

    // Most components of any artifact path ("android/app/build" has 3).
    int maxArtifactDepth() const { return maxArtifactDepth_; }

    // The search for projects does not enter this folder: a skip path, a skip
    // name, or a hidden folder.
    bool skipsFolder(const std::string& path, std::string_view name) const;

    // Version-control internals: measured but not counted as activity.
    static bool isVersionControl(std::string_view name);

    const Rules& rules() const { return rules_; }

private:
    const Rules& rules_;
    std::unordered_map<std::string, StackMask> exactMarkers_;
    std::vector<std::pair<std::string, StackMask>> suffixMarkers_;  // "*.xcodeproj" -> ".xcodeproj"
    std::vector<std::pair<std::string, StackMask>> prefixMarkers_;  // "vite.config.*" -> "vite.config."
    std::vector<std::pair<std::string, StackMask>> globMarkers_;
    std::vector<std::string> skipPaths_;
    std::vector<std::string> skipNames_;
    std::vector<std::pair<std::string, std::pair<StackMask, std::string>>> anywhere_;  // name -> stack, class
    std::unordered_map<std::string, StackMask> enclosers_;
    StackMask enclosableMask_ = 0;
    StackMask needsConfirm_ = 0;
    StackMask anywhereMask_ = 0;
    int maxArtifactDepth_ = 0;
};

enum class FolderState { Missing, RealFolder, NotRealFolder };

// Looks at `rel` below the folder `dirFd` without following any symbolic link
// on the way: a real folder, missing, or something else (a link, a file, or a
// link among its parents).
FolderState probeRealFolder(int dirFd, const std::string& rel);

// The artifact paths that `rule` names below the folder `dirFd`: its path, or
// for a glob in its last part the matching entries, sorted; with a
// confirmation, only those for which it holds.
std::vector<std::string> matchArtifactPaths(int dirFd, const ArtifactSpec& rule);

// Opens the parent folder of `rel` below `dirFd`, refusing symbolic links on
// the way. Returns the descriptor (caller closes) or -1 with errno set.
int openParentNoFollow(int dirFd, const std::string& rel);

}  // namespace tidewell::engine
