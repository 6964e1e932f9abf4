#include "core/EngineIO.h"

#include "foundation/Log.h"

namespace tidewell {

EngineIO::EngineIO(ProgressHandler onProgress, std::size_t maxStdoutBytes, std::size_t maxStderrLines)
    : onProgress_(std::move(onProgress)), maxStdoutBytes(maxStdoutBytes), maxStderrLines(maxStderrLines) {}

void EngineIO::appendStdout(std::string_view chunk) {
    std::lock_guard guard(stdoutLock);
    if (stdout.size() >= maxStdoutBytes) return;
    std::size_t room = maxStdoutBytes - stdout.size();
    stdout.append(chunk.substr(0, room));
}

void EngineIO::appendStderr(std::string_view chunk) {
    splitter.append(chunk, [this](const std::string& line) { handleStderrLine(line); });
}

void EngineIO::finishStderr() {
    splitter.finish([this](const std::string& line) { handleStderrLine(line); });
}

void EngineIO::handleStderrLine(const std::string& line) {
    static constexpr std::string_view progressPrefix = "PROGRESS:";
    if (line.starts_with(progressPrefix)) {
        ScanProgressEvent event;
        try {
            event = decode<ScanProgressEvent>(std::string_view(line).substr(progressPrefix.size()));
        } catch (const DecodeError&) {
            return;  // a broken progress line is noise, not a diagnostic
        }
        if (event.phase == "error" || event.phase == "skip")
            platform::log("Tidewell scan %@: %@ %@", event.phase, event.message, event.path.value_or(""));
        if (onProgress_) {
            try {
                onProgress_(event);
            } catch (...) {
                // A failing handler must not take the reader (and the run) down.
            }
        }
        return;
    }
    if (line.empty()) return;
    platform::log("Tidewell engine: %@", line);
    std::lock_guard guard(stderrLock);
    if (stderrLines.size() < maxStderrLines) stderrLines.push_back(line);
}

std::string EngineIO::stdoutBytes() const {
    std::lock_guard guard(stdoutLock);
    return stdout;
}

std::string EngineIO::takeStdout() {
    std::lock_guard guard(stdoutLock);
    return std::move(stdout);
}

std::vector<std::string> EngineIO::keptStderrLines() const {
    std::lock_guard guard(stderrLock);
    return stderrLines;
}

}  // namespace tidewell
