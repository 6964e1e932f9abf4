#include "dashboard/ForestHeroCard.h"

#include <algorithm>
#include <array>
#include <string>

#include "dashboard/StorageTreeView.h"
#include "kit/TreePalette.h"
#include "ui/Canvas.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;
using ui::Color;
using ui::Gradient;
using ui::Path;
using ui::Rect;
using ui::Shading;

namespace {

constexpr double cornerRadius = 24;
constexpr double glowRadius = 28, glowDrop = 12;
constexpr double glowMargin = glowRadius + glowDrop + 4;

// The card's soft cyan shadow, drawn as gradient bands along the edges and
// corners of the card's rounded rectangle (the inside lies under the card).
// An offscreen blur of the whole card on every frame of its timeline would
// cost more than the tree itself.
void drawCardGlowBands(ui::GraphicsContext& context, ui::Size size)
{
    const Rect s{glowMargin, glowMargin + glowDrop, size.width - 2 * glowMargin, size.height - 2 * glowMargin};
    if (!(s.width > 2 * cornerRadius) || !(s.height > 2 * cornerRadius))
        return;
    const Color c = TreePalette::glow().opacity(0.1);
    const double b = glowRadius, r = cornerRadius;
    // Across an edge the shadow falls from full inside to nothing outside.
    const Gradient fall{c, c.opacity(0)};
    const auto band = [&](Rect area, ui::Point from, ui::Point to) {
        context.fill(Path::rect(area), Shading::linearGradient(fall, from, to));
    };
    // Only the parts outside the card show: the card lies glowDrop above `s`.
    // The side bands reach in to the corners' centres, since the card's
    // rounded bottom corners leave some of the inside of `s` uncovered.
    band({s.x + r, s.y - b, s.width - 2 * r, b - glowDrop}, {0, s.y + r}, {0, s.y - b});
    band({s.x + r, s.maxY() - glowDrop, s.width - 2 * r, b + glowDrop}, {0, s.maxY() - r}, {0, s.maxY() + b});
    band({s.x - b, s.y + r, b + r, s.height - 2 * r}, {s.x + r, 0}, {s.x - b, 0});
    band({s.maxX() - r, s.y + r, b + r, s.height - 2 * r}, {s.maxX() - r, 0}, {s.maxX() + b, 0});
    const double reach = r + b;
    const Gradient corner = Gradient::withStops({{c, 0}, {c, std::max(0.0, (r - b) / reach)}, {c.opacity(0), 1}});
    for (const auto& [cx, cy, x, y] : {std::array<double, 4>{s.x + r, s.y + r, s.x - b, s.y - b},
                                       std::array<double, 4>{s.maxX() - r, s.y + r, s.maxX() - r, s.y - b},
                                       std::array<double, 4>{s.x + r, s.maxY() - r, s.x - b, s.maxY() - r},
                                       std::array<double, 4>{s.maxX() - r, s.maxY() - r, s.maxX() - r, s.maxY() - r}})
        context.fill(Path::rect({x, y, reach, reach}), Shading::radialGradient(corner, {cx, cy}, 0, reach));
}

// The glow only changes with the card's size: kept as pixels, so its gradient
// bands are not filled again on every frame of the tree's timeline.
void drawCardGlow(ui::GraphicsContext& context, ui::Size size)
{
    thread_local ui::CanvasCache cache;
    context.drawCached(cache, std::to_string(size.width) + "x" + std::to_string(size.height),
                       {0, 0, size.width, size.height}, [size](ui::GraphicsContext& c) { drawCardGlowBands(c, size); });
}

}  // namespace

ui::View ForestHeroCard(AppStore& store, DashboardDTO dash)
{
    return ForestHeroCard(store, std::make_shared<const DashboardDTO>(std::move(dash)));
}

ui::View ForestHeroCard(AppStore& store, std::shared_ptr<const DashboardDTO> dash)
{
    const ui::Shape card = ui::RoundedRectangle(cornerRadius);
    const ui::View glow = ui::Canvas(drawCardGlow).padding(-glowMargin).allowsHitTesting(false).accessibilityHidden(true);
    // The tree draws its own round corners; a plain rectangle clip holds the
    // rest (halos and sparks near the edges) without an offscreen layer.
    return StorageTreeView(store, std::move(dash), cornerRadius)
        .clipped()
        .overlay(card.strokeBorder(Color::white().opacity(0.12), 1).allowsHitTesting(false))
        .background(glow)
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityLabel("Development forest. Each bubble is a technology stack.");
}

}  // namespace tidewell
