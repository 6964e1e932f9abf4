#include "social/LeaderboardLoadingState.h"

#include "kit/Theme.h"
#include "ui/Animation.h"
#include "ui/Environment.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View placeholderRow(int row) {
    const ui::Shape bar = ui::RoundedRectangle(5, ui::RoundedCornerStyle::continuous);
    const ui::Color faint = ui::Color::primary().opacity(0.07);
    ui::FrameSpec wide;
    wide.maxWidth = ui::infinity;
    return ui::HStack(ui::VerticalAlignment::center, 12,
                      {ui::Circle().fill(faint).frame(34, 34), bar.fill(faint).frame(180.0 - 14.0 * row, 12), ui::Spacer(),
                       bar.fill(Theme::reclaim().opacity(0.14)).frame(64, 12)})
        .padding(ui::EdgeInsets{10, 14, 10, 14})
        .background(ui::RoundedRectangle(12, ui::RoundedCornerStyle::continuous).fill(ui::Color::primary().opacity(0.03)))
        .frame(wide);
}

}  // namespace

ui::View LeaderboardLoadingState() {
    return ui::EnvironmentReader([](const ui::EnvironmentValues& env) {
        ui::ViewList rows;
        for (int row = 0; row < 6; ++row) rows.push_back(placeholderRow(row));
        ui::FrameSpec top;
        top.maxWidth = ui::infinity;
        top.maxHeight = ui::infinity;
        top.alignment = ui::Alignment::top;
        const ui::View stack = ui::VStack(ui::HorizontalAlignment::leading, 10, std::move(rows));
        // The pulse: full to 0.55 opacity and back, forever; still under reduce motion.
        const ui::View body =
            env.reduceMotion ? stack
                             : ui::AnimatableFrom<double>(1.0, 0.55, ui::Animation::easeInOut(0.9).repeatForever(true),
                                                          [stack](const double& opacity) { return stack.opacity(opacity); });
        return body.frame(top)
            .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
            .accessibilityLabel("Loading the leaderboard");
    });
}

}  // namespace tidewell
