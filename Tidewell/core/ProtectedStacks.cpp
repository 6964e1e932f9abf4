#include "core/ProtectedStacks.h"

#include <algorithm>

#include "foundation/UserDefaults.h"

namespace tidewell {

std::set<std::string> parseProtectedStacks(std::string_view csv) {
    std::set<std::string> out;
    std::size_t start = 0;
    while (start <= csv.size()) {
        const std::size_t comma = std::min(csv.find(',', start), csv.size());
        if (comma > start) out.emplace(csv.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

std::string protectedStacksText(const std::set<std::string>& stacks) {
    // std::string orders by unsigned bytes, so the set is already in byte order.
    std::string out;
    for (const auto& s : stacks) {
        if (!out.empty()) out += ',';
        out += s;
    }
    return out;
}

std::set<std::string> storedProtectedStacks() {
    return parseProtectedStacks(platform::UserDefaults::standard()->stringValue(protectedStacksKey).value_or(""));
}

}  // namespace tidewell
