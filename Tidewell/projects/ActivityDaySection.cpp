#include "projects/ActivityDaySection.h"

#include <cctype>
#include <ctime>

#include "foundation/Formatters.h"
#include "projects/ActivityTimelineRow.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string dayHeaderLine(const ActivityDay& day, std::int64_t now) {
    const std::string word = dayHeaderLabel(day.start, now);
    if (!platform::startOfLocalDay(day.start)) return word;
    std::string date = activityDateFormatter().string(day.start);
    for (char& c : date) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word + " \u00B7 " + date;
}

std::string daySummary(const ActivityDay& day) {
    const std::size_t n = day.sessions.size();
    std::string text = std::to_string(n) + (n == 1 ? " activity" : " activities") + " \u00B7 ";
    if (const std::uint64_t total = day.totalBytes(); total > 0)
        return text + platform::formatByteCount(total) + " reclaimed";
    std::uint64_t previewed = 0;
    for (const auto& session : day.sessions)
        if (session.preview) previewed = platform::saturatingAdd(previewed, session.preview->bytes_reclaimed);
    return text + platform::formatByteCount(previewed) + " previewed";
}

ui::View ActivityDaySection(AppStore& store, const ActivityDay& day) {
    const ui::View header =
        ui::VStack(ui::HorizontalAlignment::leading, 3,
                   {
                       ui::Text(dayHeaderLine(day, std::time(nullptr)))
                           .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                           .tracking(0.6)
                           .foregroundStyle(ui::ShapeStyle::secondary()),
                       ui::Text(daySummary(day)).font(ui::Font::callout()),
                   })
            .padding(ui::Edge::top, 8)
            .padding(ui::Edge::bottom, 6)
            .accessibilityElement(ui::AccessibilityChildBehavior::combine);

    std::vector<std::pair<std::string, ui::View>> rows;
    const std::size_t n = day.sessions.size();
    for (std::size_t i = 0; i < n; ++i)
        rows.emplace_back(day.sessions[i].id(), ActivityTimelineRow(store, day.sessions[i], i > 0, i + 1 < n));

    return ui::VStack(ui::HorizontalAlignment::leading, 0,
                      {
                          header,
                          ui::Rectangle()
                              .fill(ui::Color::primary().opacity(0.08))
                              .frame(std::nullopt, 1)
                              .padding(ui::Edge::bottom, 4)
                              .accessibilityHidden(),
                          ui::ForEachIdentified(std::move(rows)),
                      })
        .padding(ui::Edge::bottom, 18);
}

}  // namespace tidewell
