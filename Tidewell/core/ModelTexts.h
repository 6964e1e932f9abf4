#pragma once
// Small shared texts and sums: relative times, the scan clock, scan-root names
// and the bytes reclaimed by the clean history.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// "N min ago", "N hr ago", "N day(s) ago" … "Not used yet" for no activity.
std::string relativeTimeText(std::chrono::system_clock::time_point now, std::int64_t lastActivityUnix);
// "Never", or the relative date-time of the scan against the current clock.
std::string lastScanLabel(std::int64_t scannedAtUnix);
// "%d:%02d" minutes and seconds, minutes uncapped.
std::string formatElapsed(double seconds);
// How the settings name a scan root.
std::string scanRootDisplayName(const std::string& path);
// The root folder's name: its filesystem label, else "File System".
std::string rootVolumeDisplayName();
// A real clean that moved at least one folder, as its items say; a record
// without items counts as it stands. Anything else is no clean at all: a
// preview, or an attempt in which nothing moved.
bool movedSomething(const OperationDTO& operation);
// Bytes moved by real cleans; previews never count. Saturates.
std::uint64_t totalReclaimedBytes(const std::vector<OperationDTO>& history);
// The history and the cleans the engine's database records, each operation
// once (by its id): the month never counts less than the history shows.
std::vector<OperationDTO> withRecordedCleans(const std::vector<OperationDTO>& history,
                                             const std::vector<OperationDTO>& recorded);
// Local midnight of the first day of the month holding `now`; the start of
// that day when the month can't be formed.
std::int64_t monthStartUnix(std::int64_t now);

}  // namespace tidewell
