#pragma once
// Progress events of a scan: "PROGRESS:" and one event object per line on
// standard error. The counters are kept here so every event carries the
// current ones. Thread-safe; "walk" and "measure" events are throttled.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace tidewell::engine {

class Progress {
public:
    // `out` null: events are counted but not printed.
    explicit Progress(std::FILE* out, std::int64_t rootsTotal);

    // The events of a walk in a helper, handed to `relay` (which sends them
    // to the engine) instead of printed.
    using Relay = std::function<void(const std::string& phase, const std::string& message, const std::optional<std::string>& path)>;
    explicit Progress(Relay relay);

    void emit(const std::string& phase, const std::string& message, std::optional<std::string> path = std::nullopt);

    // A "walk" or "measure" event, at most every quarter second; cheap to call
    // from every folder.
    void maybeEmitActivity(const char* phase, const char* message, const std::string& path);

    void projectFound(const std::string& name, const std::string& path);
    // A project found before that a later walk takes as part of a build
    // around it, and one such found again: the count follows, unannounced.
    void projectForgotten() { projectsFound_.fetch_sub(1); }
    void projectFoundAgain() { projectsFound_.fetch_add(1); }
    void rootDone(const std::string& root);

    // An event of a walk in a helper, told with this scan's counters.
    void relay(const std::string& phase, const std::string& message, std::optional<std::string> path);
    // Projects announced by such a walk that are not listed after all.
    void dropProjects(std::int64_t count) { projectsFound_.fetch_sub(count); }

    std::int64_t projectsFound() const { return projectsFound_.load(); }

private:
    std::FILE* out_;
    Relay relay_;
    std::mutex m_;
    std::atomic<std::int64_t> projectsFound_{0};
    std::atomic<std::int64_t> rootsDone_{0};
    const std::int64_t rootsTotal_;
    std::atomic<std::int64_t> lastActivityNs_{0};
};

}  // namespace tidewell::engine
