#include "core/EngineIO.h"

#include "foundation/Log.h"

namespace tidewell {

EngineIO::EngineIO(ProgressHandler onProgress, std::size_t maxStdoutBytes, std::size_t maxStderrLines)
    : onProgress_(std::move(onProgress)), maxStdoutBytes_(maxStdoutBytes), maxStderrLines_(maxStderrLines) {}

void EngineIO::appendStdout(std::string_view chunk) {
    std::lock_guard guard(stdoutLock_);
    if (stdout_.size() >= maxStdoutBytes_) return;
    std::size_t room = maxStdoutBytes_ - stdout_.size();
    stdout_.append(chunk.substr(0, room));
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
    std::lock_guard guard(stderrLock_);
    if (stderrLines_.size() < maxStderrLines_) stderrLines_.push_back(line);
}

std::string EngineIO::stdoutBytes() const {
    std::lock_guard guard(stdoutLock_);
    return stdout_;
}

std::string EngineIO::takeStdout() {
    std::lock_guard guard(stdoutLock_);
    return std::move(stdout_);
}

std::vector<std::string> EngineIO::stderrLines() const {
    std::lock_guard guard(stderrLock_);
    return stderrLines_;
}

}  // namespace tidewell
