#pragma once
// The notices listed under the titlebar bell.

#include <string>
#include <string_view>

namespace tidewell {

enum class NoticeRole { reclaim, accent, caution };
enum class NoticeDestination { dashboard, projects };

constexpr std::string_view rawValue(NoticeRole role) {
    switch (role) {
        case NoticeRole::reclaim: return "reclaim";
        case NoticeRole::accent: return "accent";
        case NoticeRole::caution: return "caution";
    }
    return "reclaim";
}

constexpr std::string_view rawValue(NoticeDestination destination) {
    return destination == NoticeDestination::dashboard ? "dashboard" : "projects";
}

struct GroveNotice {
    std::string id;
    std::string title;
    std::string detail;
    std::string systemImage;
    NoticeRole role = NoticeRole::reclaim;
    NoticeDestination destination = NoticeDestination::dashboard;

    bool operator==(const GroveNotice&) const = default;
};

}  // namespace tidewell
