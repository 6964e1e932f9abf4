#pragma once
// What one engine run has received: its standard output (capped) and the
// diagnostic lines of its standard error (bounded), with progress lines
// decoded and handed on as they arrive. Shared by the run and its two readers.

#include "core/EngineRecords.h"
#include "core/LineSplitter.h"

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

class EngineIO {
public:
    using ProgressHandler = std::function<void(const ScanProgressEvent&)>;

    static constexpr std::size_t defaultMaxStdoutBytes = 33'554'432;  // 32 MiB
    static constexpr std::size_t defaultMaxStderrLines = 2000;

    explicit EngineIO(ProgressHandler onProgress = {}, std::size_t maxStdoutBytes = defaultMaxStdoutBytes,
                      std::size_t maxStderrLines = defaultMaxStderrLines);

    // Keeps as much of the chunk as fits under the cap and drops the rest.
    void appendStdout(std::string_view chunk);
    // Feeds standard-error bytes; complete lines are handled at once.
    void appendStderr(std::string_view chunk);
    // The end of standard error: handles a last line without a newline.
    void finishStderr();
    // One standard-error line: a "PROGRESS:" line goes to the handler (or is
    // dropped silently when its JSON does not decode); any other non-empty
    // line is logged and kept while fewer than the limit are kept.
    void handleStderrLine(const std::string& line);

    std::string stdoutBytes() const;
    std::string takeStdout();  // moves the bytes out, for the end of the run
    // The diagnostic lines kept so far, oldest first.
    std::vector<std::string> keptStderrLines() const;

    LineSplitter splitter;

private:
    ProgressHandler onProgress_;
    const std::size_t maxStdoutBytes;
    const std::size_t maxStderrLines;
    mutable std::mutex stdoutLock;
    std::string stdout;
    mutable std::mutex stderrLock;
    std::vector<std::string> stderrLines;
};

}  // namespace tidewell
