#include "kit/GrowingScanHero.h"

#include "kit/GrowingScanCanvas.h"
#include "kit/GrowingScanView.h"
#include "kit/TreePalette.h"
#include "ui/Animation.h"
#include "ui/Shape.h"
#include "ui/Text.h"

#include <cmath>
#include <memory>

namespace tidewell {

namespace ui = platform::ui;

namespace {

const ui::Animation& growthEase()
{
    static const ui::Animation ease = ui::Animation::easeOut(growthEaseSeconds);
    return ease;
}

// Keeps the displayed growth in the host's state slot under the hero's identity,
// and asks for frames while it eases.
class DisplayedGrowthNode final : public ui::Node {
public:
    DisplayedGrowthNode(double growth, std::optional<std::chrono::system_clock::time_point> scan, bool reduceMotion,
                    std::function<ui::View(double)> content)
        : growth_(growth), scan_(scan), reduceMotion_(reduceMotion), content_(std::move(content)) {}

    void build(ui::Element& self, ui::BuildContext& ctx) const override
    {
        auto slot = std::static_pointer_cast<GrowthEasing>(ctx.stateSlot(
            self.identity() + "#growth", [] { return std::static_pointer_cast<void>(std::make_shared<GrowthEasing>()); }));
        const double now = ctx.now();
        *slot = followGrowth(*slot, growth_, scan_, now, reduceMotion_);
        // Easing frames come no faster than the scene's own 24 a second.
        if (isEasing(*slot, now))
            ctx.requestFrame(1.0 / 24);
        ctx.addChild(self, content_(displayedGrowth(*slot, now)), "g");
    }

private:
    double growth_;
    std::optional<std::chrono::system_clock::time_point> scan_;
    bool reduceMotion_;
    std::function<ui::View(double)> content_;
};

// Remembers the time of the last frame drawn under the hero's identity.
class HeldTimeNode final : public ui::Node {
public:
    HeldTimeNode(double time, bool paused, std::function<ui::View(double)> content)
        : time_(time), paused_(paused), content_(std::move(content)) {}

    void build(ui::Element& self, ui::BuildContext& ctx) const override
    {
        auto slot = std::static_pointer_cast<std::optional<double>>(ctx.stateSlot(
            self.identity() + "#time", [] { return std::static_pointer_cast<void>(std::make_shared<std::optional<double>>()); }));
        const double t = heroFrameTime(*slot, time_, paused_);
        *slot = t;
        ctx.addChild(self, content_(t), "f");
    }

private:
    double time_;
    bool paused_;
    std::function<ui::View(double)> content_;
};

ui::View captionShadowed(ui::View v) { return v.shadow(ui::Color::black().opacity(0.35), 4, 0, 1); }

}  // namespace

GrowthEasing followGrowth(GrowthEasing s, double growth, std::optional<std::chrono::system_clock::time_point> scan,
                         double now, bool reduceMotion)
{
    if (!std::isfinite(growth))
        growth = 0;
    if (!s.started)
        return GrowthEasing{true, growth, growth, growth, now, false, scan};
    if (scan != s.scanStartedAt) {
        // A new scan: back to the seedling at once; its growth then eases in.
        s.to = s.from = seedlingGrowth;
        s.easing = false;
        s.scanStartedAt = scan;
    }
    if (growth == s.lastGrowth)
        return s;
    s.lastGrowth = growth;
    if (reduceMotion) {
        s.to = s.from = growth;
        s.easing = false;
        return s;
    }
    s.from = displayedGrowth(s, now);
    s.to = growth;
    s.start = now;
    s.easing = s.from != growth;
    return s;
}

double displayedGrowth(const GrowthEasing& s, double now)
{
    if (!s.easing)
        return s.to;
    const double p = growthEase().progress(now - s.start);
    return s.from + (s.to - s.from) * p;
}

bool isEasing(const GrowthEasing& s, double now) { return s.easing && !growthEase().isFinished(now - s.start); }

double heroFrameTime(std::optional<double> lastDrawn, double timelineTime, bool paused)
{
    return paused && lastDrawn ? *lastDrawn : timelineTime;
}

ui::TimelineSchedule heroTimelineSchedule(bool reduceMotion, ui::ScenePhase scenePhase)
{
    const bool moving = !reduceMotion && scenePhase == ui::ScenePhase::active;
    return ui::TimelineSchedule::animation(moving ? 1.0 / 24 : 30, !moving);
}

std::string heroPathLine(const std::string& currentPath)
{
    return shortenedPath(currentPath.empty() ? std::string("Waiting for the first root\u2026") : currentPath);
}

ui::View GrowingScanHero::body() const
{
    const GrowingScanHero hero = *this;
    const ui::View picture = ui::EnvironmentReader([hero](const ui::EnvironmentValues& env) {
        const ui::TimelineSchedule schedule = heroTimelineSchedule(hero.reduceMotion, env.get<ui::ScenePhaseKey>());
        return ui::View(std::make_shared<DisplayedGrowthNode>(
            hero.growth, hero.scanStartedAt, hero.reduceMotion, [hero, schedule](double displayed) {
                return ui::TimelineView(schedule, [hero, displayed, schedule](double t) {
                    return ui::View(std::make_shared<HeldTimeNode>(
                        hero.reduceMotion ? 0 : t, schedule.paused && !hero.reduceMotion,
                        [hero, displayed](double held) { return GrowingScanCanvas(displayed, hero.buds, held).body(); }));
                });
            }));
    });

    ui::FrameSpec fullWidth;
    fullWidth.maxWidth = ui::infinity;
    fullWidth.alignment = ui::Alignment::leading;
    const ui::View caption =
        ui::VStack(ui::HorizontalAlignment::leading, 6,
                   {
                       captionShadowed(ui::Text(phaseTitle).font(ui::Font::headline()).foregroundStyle(ui::Color::white())),
                       captionShadowed(ui::Text(heroPathLine(currentPath))
                                           .font(ui::Font::system(ui::TextStyle::caption, ui::FontDesign::monospaced))
                                           .foregroundStyle(ui::Color::white().opacity(0.9))
                                           .lineLimit(1)),
                   })
            .padding(16)
            .frame(fullWidth)
            .background(ui::Rectangle().fill(ui::LinearGradient{
                ui::Gradient{ui::Color::black().opacity(0.45), ui::Color::black().opacity(0)}, ui::UnitPoint::bottom,
                ui::UnitPoint::top}));

    const ui::Shape card = ui::RoundedRectangle(24, ui::RoundedCornerStyle::continuous);
    return ui::ZStack(ui::Alignment::bottomLeading, {picture, caption})
        .clipShape(card)
        .overlay(card.strokeBorder(ui::Color::white().opacity(0.12), 1))
        .shadow(TreePalette::glow().opacity(0.1), 28, 0, 12)
        .accessibilityHidden(true);
}

}  // namespace tidewell
