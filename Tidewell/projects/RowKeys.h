#pragma once
// Keys for lists whose ids come from a file on disk: a damaged file can
// repeat an id or leave it empty, and two rows must never share a key (the
// list would merge them or reuse one row's state for another).

#include <string>
#include <vector>

namespace tidewell {

// Each id as it is when it is not empty and not taken by an earlier row;
// otherwise the id with "#" and the row's position (and further positions,
// should that be taken too).
std::vector<std::string> uniqueRowKeys(const std::vector<std::string>& ids);

}  // namespace tidewell
