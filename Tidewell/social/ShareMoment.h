#pragma once
// Share moments (a clean, the history total or a passed milestone), their
// default headings, the fixed milestones and the record of the last milestone
// celebrated.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

struct ShareMoment {
    enum class Kind { clean, total, milestone };

    std::string id;  // a fresh random UUID for every moment made
    Kind kind = Kind::clean;
    std::uint64_t bytes = 0;
    std::int64_t projectCount = 0;

    static ShareMoment make(Kind kind, std::uint64_t bytes, std::int64_t projectCount);
    std::string defaultHeading() const;
    bool operator==(const ShareMoment&) const = default;
};

inline constexpr std::array<std::uint64_t, 7> shareMilestones{
    1'000'000'000ULL,   10'000'000'000ULL,  50'000'000'000ULL,    100'000'000'000ULL,
    250'000'000'000ULL, 500'000'000'000ULL, 1'000'000'000'000ULL};

inline constexpr std::string_view kShareMilestoneCelebratedKey = "shareMilestoneCelebrated";

// The highest milestone at or below `total`, none below the first.
std::optional<std::uint64_t> highestShareMilestone(std::uint64_t total);

// Stores the highest milestone already passed (0 when none) the first time only.
void seedShareMilestone(std::uint64_t total);
// The milestone newly passed by `total`, recorded as celebrated; none otherwise.
std::optional<std::uint64_t> nextShareMilestone(std::uint64_t total);

}  // namespace tidewell
