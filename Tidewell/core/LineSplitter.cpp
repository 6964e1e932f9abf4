#include "core/LineSplitter.h"

#include "foundation/Utf8.h"

#include <vector>

namespace tidewell {

std::string LineSplitter::decodeLine(std::string_view bytes) {
    if (!platform::isValidUtf8(bytes)) return {};
    while (!bytes.empty() && bytes.front() == '\r') bytes.remove_prefix(1);
    while (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    return std::string(bytes);
}

void LineSplitter::append(std::string_view chunk, const LineHandler& handler) {
    std::vector<std::string> lines;
    {
        std::lock_guard guard(lock);
        // Only the new bytes can hold a newline: everything older was split already.
        std::size_t searchFrom = leftover.size();
        leftover.append(chunk);
        std::size_t start = 0;
        for (std::size_t newline; (newline = leftover.find('\n', searchFrom)) != std::string::npos;) {
            lines.push_back(decodeLine(std::string_view(leftover).substr(start, newline - start)));
            start = searchFrom = newline + 1;
        }
        leftover.erase(0, start);
    }
    // Handled outside the lock, so a handler may feed or finish this splitter.
    for (const auto& line : lines) handler(line);
}

void LineSplitter::finish(const LineHandler& handler) {
    std::string line;
    {
        std::lock_guard guard(lock);
        line = decodeLine(leftover);
        leftover.clear();
    }
    if (!line.empty()) handler(line);
}

}  // namespace tidewell
