#pragma once
// Splits a byte stream that arrives in arbitrary chunks into text lines.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tidewell {

class LineSplitter {
public:
    using LineHandler = std::function<void(const std::string&)>;

    // Appends a chunk and hands over every line it completes, in order. A line
    // is the bytes before a newline, read as UTF-8 (an invalid line becomes
    // empty) with carriage returns trimmed from both ends. The lock is not
    // held while `handler` runs, so a handler may call back into the splitter.
    void append(std::string_view chunk, const LineHandler& handler);
    // At the end of the stream: the bytes after the last newline, as a last
    // line, when they are not empty.
    void finish(const LineHandler& handler);

    static std::string decodeLine(std::string_view bytes);

private:
    std::mutex lock;
    std::string leftover;
};

}  // namespace tidewell
