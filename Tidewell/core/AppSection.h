#pragma once
// The sections of the main window, in sidebar order; the raw value is the title.

#include <array>
#include <optional>
#include <string_view>

namespace tidewell {

enum class AppSection { dashboard, projects, caches, activity, leaderboard };

inline constexpr std::array<AppSection, 5> allAppSections{
    AppSection::dashboard, AppSection::projects, AppSection::caches, AppSection::activity,
    AppSection::leaderboard};

constexpr std::string_view rawValue(AppSection section) {
    switch (section) {
        case AppSection::dashboard: return "Dashboard";
        case AppSection::projects: return "Projects";
        case AppSection::caches: return "Global Caches";
        case AppSection::activity: return "Activity";
        case AppSection::leaderboard: return "Leaderboard";
    }
    return "Dashboard";
}

constexpr std::optional<AppSection> appSectionFromRaw(std::string_view raw) {
    for (auto s : allAppSections)
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

}  // namespace tidewell
