#pragma once
// The numbers beside the growing tree: a growth ring with the elapsed time,
// three counters, the scan roots with the state of each, the phase phrase and
// the newest log line.

#include "core/EngineRecords.h"
#include "ui/View.h"

#include <string>
#include <vector>

namespace tidewell {

class AppStore;

enum class ScanRootState { done, active, waiting };

// Done by position (the first `rootsDone` roots), else active when the
// current path is the root or lies inside it (the root followed by "/"), or,
// before any path, when it is next in line and the scan is not done.
ScanRootState scanRootState(const std::string& root, const std::vector<std::string>& roots, const ScanSnapshot& scan);

// "~/" and the root's last path component, for every root: the root folder
// reads "~//".
std::string scanRootLabel(const std::string& root);

// The three counters' values.
std::string saplingsCounterText(std::int64_t projectsFound);
std::string rootsCounterText(std::int64_t rootsDone, std::int64_t rootsTotal);
std::string canopyCounterText(double growth);

// The part of the ring that is drawn: never less than 6 % of the circle.
double growthRingFraction(double growth);

// One key per row, the root itself; a root listed twice gets its position
// appended so every row keeps its own identity.
std::vector<std::string> scanRootRowKeys(const std::vector<std::string>& roots);

struct GrowingScanSide {
    const AppStore& store;
    double growth = 0;
    std::string phaseTitle;

    platform::ui::View body() const;
};

}  // namespace tidewell
