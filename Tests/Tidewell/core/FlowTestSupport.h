#pragma once
// Support for the store's scan, clean, schedule and folder-access tests: a
// scratch home with an empty bundle, a scripted folder panel and a clock
// that stands still.

#include <chrono>
#include <ctime>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "StoreTestEnvironment.h"
#include "core/AppStore.h"
#include "core/ShellServices.h"
#include "desktop/OpenPanel.h"
#include "foundation/Bundle.h"
#include "runtime/Clock.h"
#include "runtime/MainActor.h"
#include "social/SocialServices.h"

namespace tidewell::testing {

// Answers each panel with the next scripted answer (none: cancelled), one
// main-loop turn later, as a real panel would.
class ScriptedPanel final : public platform::OpenPanel {
public:
    ScriptedPanel() { platform::OpenPanel::setShared(this); }
    ~ScriptedPanel() override { platform::OpenPanel::setShared(nullptr); }

    void answer(std::optional<std::vector<std::string>> paths) { answers_.push_back(std::move(paths)); }
    void begin(const platform::OpenPanelOptions& options, Completion done) override {
        shown.push_back(options);
        auto reply = answers_.empty() ? std::nullopt : answers_.front();
        if (!answers_.empty()) answers_.pop_front();
        platform::postToMain([done = std::move(done), reply] { done(reply); });
    }

    std::vector<platform::OpenPanelOptions> shown;

private:
    std::deque<std::optional<std::vector<std::string>>> answers_;
};

class FixedClock {
public:
    explicit FixedClock(platform::TimePoint start) : clock(start) { platform::setClockForTesting(&clock); }
    ~FixedClock() { platform::setClockForTesting(nullptr); }
    platform::ManualClock clock;
};

// The wall clock from noon on the 15th of the current month, local time, on:
// time passes as usual, but a test of "this month" never meets a month's end,
// whenever and in whatever zone it runs.
class MidMonthClock final : public platform::Clock {
public:
    MidMonthClock() : start_(midMonth()), began_(std::chrono::steady_clock::now()) {
        platform::setClockForTesting(this);
    }
    ~MidMonthClock() override { platform::setClockForTesting(nullptr); }
    platform::TimePoint now() const override {
        return start_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                            std::chrono::steady_clock::now() - began_);
    }
    platform::MonotonicTime monotonicNow() const override { return std::chrono::steady_clock::now(); }
    std::int64_t unixNow() const { return static_cast<std::int64_t>(platform::secondsSince1970(now())); }

private:
    static platform::TimePoint midMonth() {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&t, &local);
        local.tm_mday = 15;
        local.tm_hour = 12;
        local.tm_min = local.tm_sec = 0;
        local.tm_isdst = -1;
        return std::chrono::system_clock::from_time_t(std::mktime(&local));
    }
    platform::TimePoint start_;
    platform::MonotonicTime began_;
};

// A scratch home whose bundle folder holds no engine unless a test puts one there.
struct FlowFixture : ::testing::Test {
    ScratchHome home;
    FlowFixture() {
        std::filesystem::create_directories(home.path("bundle/bin"));
        platform::Bundle::setMainForTesting(home.path("bundle/bin/tidewell"));
    }
    ~FlowFixture() override {
        platform::Bundle::resetMainForTesting();
        socialHooks() = {};
        shellHooks() = {};
    }
    // Lets posted main-actor work run until `done` holds.
    static bool runUntil(const std::function<bool()>& done) { return platform::processMainEventsUntil(done); }
    // One full turn of the main loop: everything posted so far has run.
    static void drain() {
        bool turned = false;
        platform::postToMain([&] { turned = true; });
        platform::processMainEventsUntil([&] { return turned; });
    }
    std::string folder(const std::string& relative) {
        auto p = home.path(relative);
        std::filesystem::create_directories(p);
        return p;
    }
};

}  // namespace tidewell::testing
