#include "Progress.h"

#include "core/EngineRecords.h"

#include <time.h>

namespace tidewell::engine {

namespace {
constexpr std::int64_t kActivityIntervalNs = 250'000'000;

std::int64_t coarseNowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
}  // namespace

Progress::Progress(std::FILE* out, std::int64_t rootsTotal) : out_(out), rootsTotal_(rootsTotal) {}

Progress::Progress(Relay relay) : out_(nullptr), relay_(std::move(relay)), rootsTotal_(1) {}

void Progress::emit(const std::string& phase, const std::string& message, std::optional<std::string> path) {
    if (relay_) {
        relay_(phase, message, path);
        return;
    }
    if (!out_) return;
    ScanProgressEvent e;
    e.phase = phase;
    e.message = message;
    e.path = std::move(path);
    std::lock_guard lock(m_);
    e.projects_found = projectsFound_.load();
    e.roots_done = rootsDone_.load();
    e.roots_total = rootsTotal_;
    const std::string line = "PROGRESS:" + encode(e) + "\n";
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void Progress::maybeEmitActivity(const char* phase, const char* message, const std::string& path) {
    if (!out_ && !relay_) return;
    const std::int64_t now = coarseNowNs();
    std::int64_t last = lastActivityNs_.load(std::memory_order_relaxed);
    if (now - last < kActivityIntervalNs) return;
    if (!lastActivityNs_.compare_exchange_strong(last, now)) return;
    emit(phase, message, path);
}

void Progress::projectFound(const std::string& name, const std::string& path) {
    projectsFound_.fetch_add(1);
    emit("project", "Found " + name + ".", path);
}

void Progress::relay(const std::string& phase, const std::string& message, std::optional<std::string> path) {
    if (phase == "walk" || phase == "measure") {
        maybeEmitActivity(phase.c_str(), message.c_str(), path.value_or(""));
        return;
    }
    if (phase == "project") projectsFound_.fetch_add(1);
    emit(phase, message, std::move(path));
}

void Progress::rootDone(const std::string& root) {
    rootsDone_.fetch_add(1);
    emit("root_done", "Finished " + root + ".", root);
}

}  // namespace tidewell::engine
