#include "projects/RowKeys.h"

#include <unordered_set>

namespace tidewell {

std::vector<std::string> uniqueRowKeys(const std::vector<std::string>& ids) {
    std::vector<std::string> keys;
    keys.reserve(ids.size());
    std::unordered_set<std::string> taken;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        std::string key = ids[i];
        for (std::size_t n = i; key.empty() || !taken.insert(key).second; ++n) key = ids[i] + "#" + std::to_string(n);
        keys.push_back(std::move(key));
    }
    return keys;
}

}  // namespace tidewell
