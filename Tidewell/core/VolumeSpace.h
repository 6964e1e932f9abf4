#pragma once
// The figures of the volume that holds the user's home folder.

#include <cstdint>
#include <optional>
#include <string>

namespace tidewell {

struct VolumeSpace {
    std::string name;
    std::int64_t totalBytes = 0;
    std::int64_t remainingBytes = 0;

    bool operator==(const VolumeSpace&) const = default;
};

// What the system tells of a volume; absent values are missing resources.
struct VolumeResourceValues {
    std::optional<std::string> localizedName;
    std::optional<std::string> name;
    std::optional<std::int64_t> totalCapacity;
    std::optional<std::int64_t> availableCapacity;
    std::optional<std::int64_t> availableCapacityForImportantUsage;
};

// The naming and capacity rules applied to read values.
std::optional<VolumeSpace> volumeSpaceFrom(const VolumeResourceValues& values);
// The volume resource values of the folder at `path`; none when unreadable.
std::optional<VolumeResourceValues> readVolumeResourceValues(const std::string& path);
// The startup disk: the home folder's volume.
std::optional<VolumeSpace> readStartupDisk();

}  // namespace tidewell
