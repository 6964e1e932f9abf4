#pragma once
// Scan-root paths: the default roots, the mapping from a sandbox home to the
// real one, and the normalisation applied to stored and added roots.

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

class FolderLooks;

// The home folder, $HOME (tests may set another), used for "~" and defaults.
std::string scanRootsRealHome();
// Tests point the real home into a scratch folder; none restores it.
void setRealHomeForTesting(std::optional<std::string> home);

// "/" and those of Developer, Documents, Desktop, Downloads, Projects that exist in the real home.
std::vector<std::string> defaultScanRoots(const FolderLooks& looks);
// The home folder and the five folders the defaults may take.
std::vector<std::string> defaultScanRootCandidates();
// Every folder the normalisation of `roots` looks at, the defaults' among them.
std::vector<std::string> scanRootFoldersToLook(const std::vector<std::string>& roots);
// True when the folder `root` stands for was looked at and did not answer.
bool isSilentScanRoot(const std::string& root, const FolderLooks& looks);
std::string mapToRealHome(const std::string& path);
// The folder a typed or stored root stands for; none (and a log line) when it
// is not a folder. One that did not answer is kept: it is there, only not now.
std::optional<std::string> normalizeScanRoot(const std::string& path, const FolderLooks& looks);
// Stored roots at launch. A root on another disk that is simply not mounted
// now is kept: dropping it would lose it from the settings for good.
std::vector<std::string> normalizeScanRoots(const std::vector<std::string>& roots, const FolderLooks& looks);
bool isNotAmongRoots(const std::string& path, const std::vector<std::string>& roots);

// Whether the application may read every folder: true outside a sandbox.
bool probeFullDiskAccess();

}  // namespace tidewell
