#include "character/TreeCharacterView.h"

#include <algorithm>
#include <cmath>

#include "character/CharacterFigure.h"
#include "foundation/Formatters.h"
#include "runtime/Clock.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr double kSegment = 7;
constexpr double kCrouch = 0.18;
constexpr double kLanding = 0.16;

double noise(double k, int j) {
    const double x = std::sin(k * 12.9898 + j * 78.233) * 43758.5453;
    return x - std::floor(x);
}

struct Stop {
    std::optional<std::size_t> perch;  // none: the ground
    double fraction = 0;
};

Stop stopOf(double k, std::size_t n) {
    if (n > 0 && noise(k, 0) >= 0.35) {
        std::size_t p = std::size_t(noise(k, 2) * double(n)) % n;
        const std::size_t q = std::size_t(noise(k - 1, 2) * double(n)) % n;
        if (p == q) p = (p + 1) % n;
        return {p, 0};
    }
    return {std::nullopt, noise(k, 1) * 0.8 + 0.1};
}

ui::Point pointOf(const Stop& stop, const std::vector<TreePerch>& perches, ui::Size size) {
    if (stop.perch) {
        const TreePerch& p = perches[*stop.perch];
        return {p.center.x, p.center.y - p.radius + 3};
    }
    return {stop.fraction * size.width, 0.905 * size.height};
}

}  // namespace

TreeCharacterView::Pose treeCharacterPose(const std::vector<TreePerch>& perches, ui::Size size, double time, bool reduceMotion,
                                    std::uint64_t readyBytes) {
    const double ground = 0.905 * size.height;
    if (reduceMotion || !std::isfinite(time)) return {{0.16 * size.width, ground}, 1, 1, 0, std::nullopt, false};

    const double seg = std::floor(time / kSegment);
    const double local = time - kSegment * seg;
    const Stop fromStop = stopOf(seg - 1, perches.size()), toStop = stopOf(seg, perches.size());
    const ui::Point from = pointOf(fromStop, perches, size), to = pointOf(toStop, perches, size);
    const double dir = from.x <= to.x ? 1 : -1;
    const double dx = to.x - from.x;
    const double breathing = 1 + 0.015 * std::sin(time * 2.4);

    TreeCharacterView::Pose pose;
    double idle = 0;
    if (fromStop.perch || toStop.perch) {
        const double apex = std::min(from.y, to.y) - 46;
        const double h1 = std::sqrt(from.y - apex), h2 = std::sqrt(to.y - apex);
        const double split = h1 / (h1 + h2);
        const double flight = std::max(0.5, (h1 + h2) * 0.045);
        const double landed = kCrouch + flight;
        if (local < kCrouch)
            return {from, dir, 1 - 0.16 * std::sin(M_PI * local / kCrouch), 0, std::nullopt, false};
        if (local < landed) {
            const double u = (local - kCrouch) / flight;
            double y, lean;
            if (u < split) {
                const double v = 1 - u / split;
                y = from.y - (from.y - apex) * (1 - v * v);
                lean = 8 * dir;
            } else {
                const double v = (u - split) / (1 - split);
                y = apex + (to.y - apex) * v * v;
                lean = -5 * dir;
            }
            // Below the higher perch's top it passes behind the bubbles.
            double perchTop = INFINITY;
            if (fromStop.perch) perchTop = std::min(perchTop, from.y);
            if (toStop.perch) perchTop = std::min(perchTop, to.y);
            return {{from.x + dx * u, y}, dir, 1 + 0.08 * std::abs(u - split) / std::max(split, 1 - split), lean,
                    std::nullopt, perchTop + 2 < y};
        }
        if (local < landed + kLanding)
            return {to, dir, 1 - 0.13 * std::sin(M_PI * (local - landed) / kLanding), 0, std::nullopt, false};
        idle = local - (landed + kLanding);
    } else {
        const double distance = std::hypot(to.x - from.x, to.y - from.y);
        const double walk = std::clamp(distance / 85, 1.2, 4.5);
        if (local < walk) {
            const double p = local / walk;
            const double e = p * p * (3 - 2 * p);
            return {{from.x + dx * e, ground - std::abs(std::sin(time * 9)) * 3}, dir, 1, 4 * dir, std::nullopt, false};
        }
        idle = local - walk;
    }

    pose.feet = to;
    pose.squash = breathing;
    pose.facing = idle > 1.6 && noise(seg, 5) < 0.5 ? -dir : dir;
    if (local < 6.6 && idle > 0.4) {
        if (!toStop.perch && std::fmod(seg, 3) == 0)
            pose.line = readyBytes == 0 ? std::string("All clean. Nice.") : platform::formatByteCount(readyBytes) + " is ready to clean";
        else if (toStop.perch && noise(seg, 3) < 0.55)
            pose.line = perches[*toStop.perch].title + " · " + perches[*toStop.perch].detail;
    }
    return pose;
}

ui::View TreeCharacterView::body() const {
    const TreeCharacterView::Pose pose = treeCharacterPose(perches, size, time, reduceMotion, readyBytes);
    if (pose.behind != (layer == Layer::behind)) return ui::EmptyView();

    const double g = characterSizeFactor(lifetime);
    const double figH = std::min(0.13 * size.height, 90.0);
    double hop = 0, age = -1;
    if (meal && !reduceMotion) {
        age = std::chrono::duration<double>(platform::now() - meal->at).count();
        if (age >= 0 && age < 0.7) hop = 30 * std::sin(M_PI * age / 0.7);
    }

    ui::ViewList layers;
    layers.push_back(CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, g}
                         .body()
                         .frame(figH * 110 / 130, figH)
                         .scaleEffect(pose.facing * (1 + 0.6 * (1 - pose.squash)), pose.squash, ui::UnitPoint::bottom)
                         .rotationEffect(ui::Angle::degrees(pose.lean), ui::UnitPoint::bottom)
                         .position(pose.feet.x, pose.feet.y - hop - figH / 2 + 5 * figH / 130));
    const double speechX = std::clamp(pose.feet.x, 90.0, std::max(90.0, size.width - 90));
    const double speechY = pose.feet.y - hop - g * figH - 16;
    if (pose.line)
        layers.push_back(ui::Text(*pose.line)
                             .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                             .foregroundStyle(ui::Color::white())
                             .lineLimit(1)
                             .padding(ui::Edges::horizontal(), 10)
                             .padding(ui::Edges::vertical(), 5)
                             .background(ui::ZStack({ui::Capsule().fill(ui::Color::hex(0x0A242B, 0.92)),
                                                     ui::Capsule().strokeBorder(ui::Color::white().opacity(0.16), 1)}))
                             .fixedSize()
                             .position(speechX, speechY));
    if (age >= 0 && age < 3)
        layers.push_back(ui::Text("+" + platform::formatByteCount(meal->bytes))
                             .font(ui::Font::system(17, ui::FontWeight::bold, ui::FontDesign::rounded))
                             .foregroundStyle(ui::Color::hex(0x00D9FF))
                             .opacity(std::max(0.0, 1 - 0.5 * age))
                             .fixedSize()
                             .position(speechX, speechY - 18 - 18 * age));
    return ui::ZStack(ui::Alignment::topLeading, std::move(layers))
        .frame(size.width, size.height)
        .allowsHitTesting(false)
        .accessibilityHidden(true);
}

}  // namespace tidewell
