#include "core/LineSplitter.h"

#include "foundation/Utf8.h"

namespace tidewell {

std::string LineSplitter::decodeLine(std::string_view bytes) {
    if (!platform::isValidUtf8(bytes)) return {};
    while (!bytes.empty() && bytes.front() == '\r') bytes.remove_prefix(1);
    while (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    return std::string(bytes);
}

void LineSplitter::append(std::string_view chunk, const LineHandler& handler) {
    std::unique_lock guard(lock_);
    // Only the new bytes can hold a newline: everything older was split already.
    std::size_t searchFrom = leftover_.size();
    leftover_.append(chunk);
    std::size_t start = 0;
    while (true) {
        std::size_t newline = leftover_.find('\n', searchFrom);
        if (newline == std::string::npos) break;
        std::string line = decodeLine(std::string_view(leftover_).substr(start, newline - start));
        start = newline + 1;
        searchFrom = start;
        guard.unlock();
        handler(line);
        guard.lock();
    }
    leftover_.erase(0, start);
}

void LineSplitter::finish(const LineHandler& handler) {
    std::string line;
    {
        std::lock_guard guard(lock_);
        line = decodeLine(leftover_);
        leftover_.clear();
    }
    if (!line.empty()) handler(line);
}

}  // namespace tidewell
