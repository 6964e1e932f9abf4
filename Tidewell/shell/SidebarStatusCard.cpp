#include "shell/SidebarStatusCard.h"

#include <ctime>
#include <limits>
#include <set>

#include "character/SidebarCharacterHeader.h"
#include "core/ModelTexts.h"
#include "foundation/Formatters.h"
#include "foundation/UserDefaults.h"
#include "kit/Theme.h"
#include "runtime/Clock.h"
#include "ui/Label.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::vector<OperationDTO> monthCleans(const std::vector<OperationDTO>& operations, std::int64_t monthStart) {
    std::vector<OperationDTO> cleans;
    for (const auto& op : operations)
        if (movedSomething(op) && op.timestamp_unix >= monthStart) cleans.push_back(op);
    return cleans;
}

MonthCleaning monthCleaning(const std::vector<OperationDTO>& monthCleans) {
    MonthCleaning month;
    std::set<std::string> paths;
    for (const auto& op : monthCleans) {
        month.freedBytes = platform::saturatingAdd(month.freedBytes, op.bytes_reclaimed);
        if (op.project_path) paths.insert(*op.project_path);
    }
    month.projectCount = std::int64_t(paths.size());
    return month;
}

std::string monthLine(const MonthCleaning& month) {
    if (month.freedBytes == 0) return "Nothing cleaned yet this month";
    return "This month: " + std::to_string(month.projectCount) + (month.projectCount == 1 ? " project" : " projects") +
           " cleaned";
}

bool statusCardPresent(bool compact, std::uint64_t freedThisMonth, bool automaticClean, bool showsCharacter) {
    if (compact) return false;
    return freedThisMonth > 0 || automaticClean || showsCharacter;
}

std::string autoCleanTimeText(std::optional<std::int64_t> endOfDayHour, std::int64_t now) {
    const std::int64_t hour = endOfDayHour.value_or(18);
    std::int64_t when = now;
    if (hour >= 0 && hour <= 23) {
        const std::time_t t = std::time_t(now);
        std::tm local{};
        if (localtime_r(&t, &local)) {
            local.tm_hour = int(hour);
            local.tm_min = local.tm_sec = 0;
            local.tm_isdst = -1;
            // mktime moves a time that a clock change skips to the next existing one.
            const std::time_t at = std::mktime(&local);
            if (at != std::time_t(-1)) when = at;
        }
    }
    return platform::formatDatePattern(when, "h:mm a").value_or("");
}

namespace {

ui::View freedColumn(const std::string& caption, std::uint64_t bytes, ui::Color valueColor) {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    // The count is shown as a signed 64-bit figure: a saturated sum stops at its largest value.
    constexpr auto largest = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    return ui::VStack(ui::HorizontalAlignment::leading, 1,
                      {ui::Text(caption)
                           .font(ui::Font::caption())
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .lineLimit(1)
                           .minimumScaleFactor(0.85),
                       ui::Text(platform::formatByteCount(std::min(bytes, largest)))
                           .font(ui::Font::system(15, ui::FontWeight::semibold))
                           .monospacedDigit()
                           .foregroundStyle(valueColor)
                           .lineLimit(1)
                           .minimumScaleFactor(0.8)})
        .frame(fill)
        .accessibilityElement(ui::AccessibilityChildBehavior::combine);
}

std::optional<std::int64_t> storedEndOfDayHour() {
    const auto defaults = platform::UserDefaults::standard();
    if (auto hour = defaults->integerValue(keys::endOfDayHour)) return hour;
    return std::nullopt;
}

}  // namespace

ui::View SidebarStatusCard(AppStore& store, bool compact) {
    const auto now = std::int64_t(platform::secondsSince1970(platform::now()));
    const MonthCleaning month = monthCleaning(
        monthCleans(withRecordedCleans(store.operations.get(), store.monthCleansRecorded.get()), monthStartUnix(now)));
    const bool showsCharacter = store.character->showsInSidebar;
    const bool autoClean = store.automaticCleanEnabled.get();
    if (!statusCardPresent(compact, month.freedBytes, autoClean, showsCharacter)) return ui::EmptyView();

    ui::ViewList rows;
    if (showsCharacter) rows.push_back(SidebarCharacterHeader(store).padding(ui::Edge::bottom, 6));
    ui::ViewList figures{freedColumn("Freed this month", month.freedBytes, Theme::reclaim())};
    if (showsCharacter) figures.push_back(freedColumn("Freed all time", store.lifetimeReclaimedBytes.get(), ui::Color::primary()));
    rows.push_back(ui::HStack(ui::VerticalAlignment::top, 10, std::move(figures)));
    rows.push_back(ui::Text(monthLine(month))
                       .font(ui::Font::caption())
                       .foregroundStyle(ui::ShapeStyle::secondary())
                       .padding(ui::Edge::top, 2));
    if (autoClean) {
        rows.push_back(ui::Label("Auto clean around " + autoCleanTimeText(storedEndOfDayHour(), now), "clock")
                           .font(ui::Font::caption())
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .padding(ui::Edge::top, 4));
    }
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    const ui::Shape card = ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous);
    return ui::VStack(ui::HorizontalAlignment::leading, 4, std::move(rows))
        .padding(10)
        .frame(fill)
        .background(card.fill(Theme::raisedSurface()))
        .overlay(card.strokeBorder(Theme::reclaim().opacity(0.4), 1).allowsHitTesting(false))
        .accessibilityIdentifier("sidebar.planCard")
        .frame(fill);
}

}  // namespace tidewell
