#include "social/ShareMoment.h"

#include <limits>

#include <QUuid>

#include "foundation/Formatters.h"
#include "foundation/UserDefaults.h"

namespace tidewell {

ShareMoment ShareMoment::make(Kind kind, std::uint64_t bytes, std::int64_t projectCount) {
    ShareMoment m;
    m.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    m.kind = kind;
    m.bytes = bytes;
    m.projectCount = projectCount;
    return m;
}

std::string ShareMoment::defaultHeading() const {
    const std::string amount = platform::formatByteCount(bytes);
    switch (kind) {
        case Kind::clean: return "I just freed " + amount + " of build files on my computer";
        case Kind::total: return "I\u2019ve freed " + amount + " of build files on my computer";
        case Kind::milestone: return "I just passed " + amount + " of build files cleared from my computer";
    }
    return {};
}

std::optional<std::uint64_t> highestShareMilestone(std::uint64_t total) {
    for (auto it = shareMilestones.rbegin(); it != shareMilestones.rend(); ++it)
        if (*it <= total) return *it;
    return std::nullopt;
}

void seedShareMilestone(std::uint64_t total) {
    auto defaults = platform::UserDefaults::standard();
    if (defaults->contains(kShareMilestoneCelebratedKey)) return;
    defaults->setInteger(kShareMilestoneCelebratedKey,
                         static_cast<std::int64_t>(highestShareMilestone(total).value_or(0)));
}

std::optional<std::uint64_t> nextShareMilestone(std::uint64_t total) {
    auto defaults = platform::UserDefaults::standard();
    const std::int64_t stored = defaults->integerValue(kShareMilestoneCelebratedKey).value_or(0);
    const std::uint64_t celebrated = stored > 0 ? static_cast<std::uint64_t>(stored) : 0;
    const auto milestone = highestShareMilestone(total);
    if (!milestone || celebrated >= *milestone) return std::nullopt;
    defaults->setInteger(kShareMilestoneCelebratedKey, static_cast<std::int64_t>(*milestone));
    return milestone;
}

}  // namespace tidewell
