#pragma once
// The stacks the user protected on the storage tree: stored as one text of
// ids under "tidewell.protectedStacks", read by the tree and by every clean
// of many projects, which leaves their projects alone.

#include <set>
#include <string>
#include <string_view>

namespace tidewell {

// The user default holding the protected stack ids joined with ",".
inline constexpr const char* protectedStacksKey = "tidewell.protectedStacks";

// Split on ",", empty pieces dropped, pieces kept as they are (no trimming).
std::set<std::string> parseProtectedStacks(std::string_view csv);
// The set sorted by byte order and joined with "," (empty for none).
std::string protectedStacksText(const std::set<std::string>& stacks);
// The set as the user defaults hold it now (none when the value is no text).
std::set<std::string> storedProtectedStacks();

}  // namespace tidewell
