#include "core/VolumeSpace.h"

#include <limits>

#include <QStorageInfo>
#include <sys/statvfs.h>

#include "core/ModelTexts.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace {
std::string trimWhitespaceAndNewlines(const std::string& s) {
    const char* blanks = " \t\n\r\v\f";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

std::string removingDataSuffix(std::string name) {
    const std::string suffix = " - Data";
    for (auto pos = name.find(suffix); pos != std::string::npos; pos = name.find(suffix, pos))
        name.erase(pos, suffix.size());
    return name;
}

std::int64_t clampedProduct(std::uint64_t blocks, std::uint64_t size) {
    constexpr auto maxValue = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (size != 0 && blocks > maxValue / size) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(blocks * size);
}
}  // namespace

std::optional<VolumeSpace> volumeSpaceFrom(const VolumeResourceValues& v) {
    if (!v.totalCapacity || *v.totalCapacity < 1) return std::nullopt;
    VolumeSpace space;
    space.totalBytes = *v.totalCapacity;
    space.remainingBytes = v.availableCapacityForImportantUsage ? *v.availableCapacityForImportantUsage
                           : v.availableCapacity                ? *v.availableCapacity
                                                                : 0;
    const std::string raw = v.localizedName ? *v.localizedName : v.name.value_or("");
    std::string name = removingDataSuffix(trimWhitespaceAndNewlines(raw));
    // A label that is only the data-volume marker (" - Data", its leading
    // blank lost to the trim) names no disk either.
    const std::string bare = trimWhitespaceAndNewlines(removingDataSuffix(raw));
    if (name.empty() || name == "Data" || bare.empty() || bare == "Data") name = "Startup disk";
    space.name = name;
    return space;
}

std::optional<VolumeResourceValues> readVolumeResourceValues(const std::string& path) {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0) return std::nullopt;
    VolumeResourceValues values;
    values.totalCapacity = clampedProduct(fs.f_blocks, fs.f_frsize);
    // What an ordinary user may still write is what counts as available.
    values.availableCapacity = clampedProduct(fs.f_bavail, fs.f_frsize);
    values.availableCapacityForImportantUsage = values.availableCapacity;
    QStorageInfo info(QString::fromStdString(path));
    if (info.isValid()) {
        // The filesystem's label; a volume without one goes by its mount folder's
        // name, the unlabelled root by the root's name (the card's state text
        // already says "Startup disk", so the name must not say it again).
        const auto label = info.name().toStdString();
        const auto mountName = platform::lastPathComponent(info.rootPath().toStdString());
        if (!label.empty()) values.name = label;
        if (!label.empty()) values.localizedName = label;
        else if (!mountName.empty() && mountName != "/") values.localizedName = mountName;
        else values.localizedName = rootVolumeDisplayName();
    }
    return values;
}

std::optional<VolumeSpace> readStartupDisk() {
    auto values = readVolumeResourceValues(platform::homeDirectory());
    if (!values) return std::nullopt;
    return volumeSpaceFrom(*values);
}

}  // namespace tidewell
