#include "dashboard/StorageNodeView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "foundation/Formatters.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/ForestSpring.h"
#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/Canvas.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;
using ui::Color;

double storageNodeGlow(bool selected, bool hovered, int index, double time, bool reduceMotion)
{
    if (reduceMotion)
        return selected ? 0.9 : 0.5;
    const double s = 0.5 + 0.5 * std::sin(index * 0.8 + time * (selected ? 2.5 : 1.45));
    if (selected)
        return 0.75 + 0.25 * s;
    if (hovered)
        return 0.8;
    return 0.4 + 0.16 * s;
}

double storageNodeIconSide(double d) { return std::clamp(d < 104 ? d * 0.34 : d * 0.26, 18.0, 34.0); }

double storageNodePillPadding(double d) { return std::clamp((d - 44) / 4, 4.0, 8.0); }

double storageNodeSizeTextRoom(double d, double pillHeight)
{
    const double padding = storageNodePillPadding(d);
    if (d >= 104)
        return std::max(0.0, 0.72 * d - 2 * padding);
    // Icon, gap and pill stand centred in the face, the pill lowest; its ends
    // keep clear of the rim.
    const double rimClearance = 2.5;
    const double content = storageNodeIconSide(d) + std::max(0.04 * d, 3.0) + pillHeight;
    const double end = pillHeight / 2, below = content / 2 - end;
    const double reach = d / 2 - rimClearance - end;
    if (!(reach > below))
        return 0;
    return std::max(0.0, 2 * (std::sqrt(reach * reach - below * below) + end) - 2 * padding);
}

double storageNodeScale(bool selected, bool hovered)
{
    if (hovered && selected)
        return 1.08;
    if (hovered)
        return 1.045;
    return selected ? 1.05 : 1.0;
}

std::string storageNodeAccessibilityLabel(const StorageNodeModel& node)
{
    const auto& s = node.summary;
    return s.label + ", " + storageStatusWord(node.status) + ", " + platform::formatByteCount(s.reclaimable_bytes) +
           " reclaimable, " + std::to_string(s.project_count) + (s.project_count == 1 ? " project" : " projects");
}

namespace {

ui::View icon(const std::string& type, double side)
{
    if (auto image = StackTemplateIcon(type, side, Color::white()))
        return *image;
    return ui::View(ui::Image::systemName(stackSymbol(type)))
        .font(ui::Font::system(0.86 * side, ui::FontWeight::semibold))
        .foregroundStyle(Color::white())
        .frame(side, side)
        .accessibilityHidden(true);
}

ui::View faceContent(const StorageNodeModel& node, double d)
{
    const bool large = d >= 124, named = d >= 104;
    ui::ViewList rows{icon(node.id(), storageNodeIconSide(d))};
    if (named)
        rows.push_back(ui::Text(node.summary.label)
                           .font(ui::Font::system(large ? 13 : 11.5, ui::FontWeight::bold, ui::FontDesign::rounded))
                           .foregroundStyle(Color::white())
                           .multilineTextAlignment(ui::TextAlignment::center)
                           .lineLimit(2)
                           .minimumScaleFactor(0.65));
    const ui::Font sizeFont =
        ui::Font::system(large ? 11.5 : 10.5, ui::FontWeight::semibold, ui::FontDesign::rounded).monospacedDigit();
    const double padding = storageNodePillPadding(d);
    const double room = storageNodeSizeTextRoom(d, ui::resolveFont(sizeFont).lineHeight + 6);
    rows.push_back(ui::Text(platform::formatByteCount(node.summary.reclaimable_bytes))
                       .font(sizeFont)
                       .foregroundStyle(Color::white())
                       .lineLimit(1)
                       .minimumScaleFactor(0.65)
                       .padding(ui::EdgeInsets{3, padding, 3, padding})
                       .background(ui::Capsule().fill(Color::white().opacity(0.14)))
                       .overlay(ui::Capsule().stroke(Color::white().opacity(0.28), 0.8)));
    // The side margins leave the pill exactly its room: the face's own
    // margins on named bubbles, the width of the circle at the pill below.
    const double sides = std::max(0.0, (d - room) / 2 - padding);
    return ui::VStack(ui::HorizontalAlignment::center, std::max(0.04 * d, 3.0), std::move(rows))
        .padding(ui::EdgeInsets{0.1 * d, sides, 0.1 * d, sides});
}

// The bubble's still drawing is kept as pixels per stack: its shadow and its
// halo at full strength (each laid down at its own opacity each frame) and its
// face without the texts and icon. Qt fills gradients pixel by pixel, and
// seventeen bubbles of them on every frame cost more than the rest of the tree.
struct BubbleCaches {
    ui::CanvasCache shadow, halo, face, content;
};

std::map<std::pair<std::string, int>, BubbleCaches>& allBubbleCaches()
{
    thread_local std::map<std::pair<std::string, int>, BubbleCaches> caches;
    return caches;
}

BubbleCaches& bubbleCaches(const std::string& stack, int phase) { return allBubbleCaches()[{stack, phase}]; }

ui::Gradient blurredDiscGradient(const Color& color, double r, double radius)
{
    const double outer = r + radius;
    const auto at = [outer](double distance) { return std::clamp(distance / outer, 0.0, 1.0); };
    return ui::Gradient::withStops({{color, 0},
                                    {color, at(r - radius)},
                                    {color.opacity(0.82), at(r - radius / 2)},
                                    {color.opacity(0.5), at(r)},
                                    {color.opacity(0.18), at(r + radius / 2)},
                                    {color.opacity(0), 1}});
}

ui::Rect around(ui::Point c, double r) { return {c.x - r, c.y - r, 2 * r, 2 * r}; }

std::string cacheKey(double d, const Color& tint, double extra)
{
    const ui::RGBA c = tint.resolve(ui::ColorScheme::dark);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.3f/%.4f,%.4f,%.4f/%.3f", d, c.red, c.green, c.blue, extra);
    return buf;
}

void drawStatusDot(ui::GraphicsContext& g, ui::Point at, const Color& color)
{
    g.fill(ui::Path::ellipse(around(at, 8.5)),
           ui::Shading::radialGradient(blurredDiscGradient(color.opacity(0.9), 4.5, 4), at, 0, 8.5));
    g.fill(ui::Path::ellipse(around(at, 4.5)), color);
    g.stroke(ui::Path::ellipse(around(at, 4)), Color::white().opacity(0.85), 1);
}

// The status dot's centre: in the face's top-trailing corner, moved in
// towards the curve.
ui::Point statusDotCentre(ui::Point c, double d)
{
    return {c.x + d / 2 - 4.5 - 0.06 * d, c.y - d / 2 + 4.5 + 0.06 * d};
}

void drawFace(ui::GraphicsContext& g, ui::Point c, double d, const Color& tint, bool selected)
{
    const double r = d / 2;
    const ui::Rect box = around(c, r);
    g.fill(ui::Path::ellipse(box), Color::rgb255(7, 24, 32, 0.82));
    g.fill(ui::Path::ellipse(box),
           ui::Shading::radialGradient(ui::Gradient{tint.opacity(0.55), tint.opacity(0.08)},
                                       {box.x + 0.32 * d, box.y + 0.28 * d}, 2, 0.72 * d));
    const ui::Rect gloss = around(c, r - 1.5);
    g.fill(ui::Path::ellipse(gloss), ui::Shading::linearGradient(ui::Gradient{Color::white().opacity(0.22), Color::white().opacity(0)},
                                                                 {gloss.midX(), gloss.y}, {gloss.midX(), gloss.midY()}));
    const double width = selected ? 2.6 : 1.35;
    g.stroke(ui::Path::ellipse(around(c, r - width / 2)),
             ui::Shading::linearGradient(ui::Gradient{Color::white().opacity(selected ? 1.0 : 0.82), tint, tint.opacity(0.35)},
                                         {box.x, box.y}, {box.maxX(), box.maxY()}),
             width);
}

// The shadow the button and its halo cast: the tint at 0.28 + 0.25 × glow.
// The halo is faint beside the face, so the face's disc, blurred, stands for both.
double storageNodeShadowOpacity(double glow) { return 0.28 + 0.25 * glow; }

// Shadow, halo, face and status dot, centred in a canvas of 1.55 d.
ui::View bubbleDrawing(const std::string& stack, double d, const Color& tint, bool selected, double glow,
                       StorageNodeStatus status, int phase)
{
    return ui::Canvas([=](ui::GraphicsContext& g, ui::Size size) {
               BubbleCaches& caches = bubbleCaches(stack, phase);
               const ui::Point c{size.width / 2, size.height / 2};
               const double r = d / 2, blur = selected ? 16 : 8;
               const ui::Point dropped{c.x, c.y + 5};
               ui::GraphicsContext shadow = g;
               shadow.opacity *= std::clamp(storageNodeShadowOpacity(glow), 0.0, 1.0);
               shadow.drawCached(caches.shadow, cacheKey(d, tint, blur), around(dropped, r + blur + 1),
                                 [&](ui::GraphicsContext& l) {
                                     l.fill(ui::Path::ellipse(around(dropped, r + blur)),
                                            ui::Shading::radialGradient(blurredDiscGradient(tint, r, blur), dropped, 0,
                                                                        r + blur));
                                 });
               ui::GraphicsContext halo = g;
               halo.opacity *= std::clamp(glow, 0.0, 1.0);
               halo.drawCached(caches.halo, cacheKey(d, tint, 0), around(c, 0.775 * d + 1), [&](ui::GraphicsContext& l) {
                   l.fill(ui::Path::ellipse(around(c, 0.775 * d)),
                          ui::Shading::radialGradient(ui::Gradient{tint.opacity(0.55), tint.opacity(0)}, c, 0.28 * d,
                                                      0.78 * d));
               });
               g.drawCached(caches.face, cacheKey(d, tint, selected + 2 * int(status)), around(c, r + 2),
                            [&](ui::GraphicsContext& l) {
                                drawFace(l, c, d, tint, selected);
                                drawStatusDot(l, statusDotCentre(c, d), storageStatusColor(status));
                            });
           })
        .frame(1.55 * d, 1.55 * d)
        .allowsHitTesting(false)
        .accessibilityHidden(true);
}

// The protected badge's lock, beside the dot the face drawing carries.
ui::View protectedLock()
{
    return ui::View(ui::Image::systemName("lock.fill"))
        .font(ui::Font::system(7, ui::FontWeight::bold))
        .foregroundStyle(Color::white())
        .frame(9, 9)
        .offset(8, 6)
        .accessibilityHidden(true);
}

}  // namespace

std::size_t storageNodeDrawingRenders()
{
    std::size_t n = 0;
    for (const auto& [stack, c] : allBubbleCaches())
        n += c.shadow.renders() + c.halo.renders() + c.face.renders() + c.content.renders();
    return n;
}

ui::View StorageNodeView::body() const
{
    const double d = node.diameter;
    const Color tint = stackTint(node.id());
    const double glow = storageNodeGlow(selected, hovered, index, time, reduceMotion);
    const std::string size = platform::formatByteCount(node.summary.reclaimable_bytes);

    // The icon and texts are still too: the size text is drawn shrunk to fit,
    // and Qt keeps glyphs for only a few scales of a font at once, so with
    // seventeen bubbles they were drawn afresh from their outlines every frame.
    ui::View decorated = ui::CachedDrawing(faceContent(node, d).frame(d, d), bubbleCaches(node.id(), pixelPhase).content,
                                           node.summary.label + "/" + size + "/" + cacheKey(d, tint, 0));
    if (selected && !reduceMotion) {
        ui::StrokeStyle ring;
        ring.lineWidth = 2;
        ring.lineCap = ui::LineCap::round;
        decorated = decorated.overlay(ui::Circle()
                                          .trim(0, 0.22)
                                          .stroke(Color::white().opacity(0.95), ring)
                                          .rotationEffect(ui::Angle::degrees(std::fmod(time * 36, 360)))
                                          .frame(d + 6, d + 6)
                                          .allowsHitTesting(false));
    }
    if (node.status == StorageNodeStatus::protected_)
        decorated = decorated.overlay(protectedLock().offset(-0.06 * d, 0.06 * d), ui::Alignment::topTrailing);

    const auto select = onSelect;
    const ui::View button = PointingHandCursorModifier(
        ui::Button(decorated, [select] { if (select) select(); })
            .modifier(ui::buttonStyle(ui::plainButtonStyle()))
            .contentShape(ui::Circle()));
    const std::optional<ui::Animation> swell = reduceMotion ? std::nullopt : std::optional(forestSpring());
    const std::optional<ui::Animation> entrance =
        reduceMotion ? std::nullopt : std::optional(ui::Animation::spring(0.66, 0.76).delayed(index * 0.05));
    const double scale = storageNodeScale(selected, hovered);
    const bool shown = appeared || reduceMotion;

    ui::View bubble =
        ui::ZStack({bubbleDrawing(node.id(), d, tint, selected, glow, node.status, pixelPhase), button});
    bubble = ui::Animatable<double>(shown ? 1.0 : 0.0, entrance, [bubble](const double& p) {
        return bubble.scaleEffect(0.84 + 0.16 * p).opacity(p);
    });
    bubble = ui::Animatable<double>(scale, swell, [bubble](const double& s) { return bubble.scaleEffect(s); });
    bubble = bubble.accessibilityElement(ui::AccessibilityChildBehavior::ignore)
                 .accessibilityLabel(storageNodeAccessibilityLabel(node))
                 .help(node.summary.label + ", " + size + " reclaimable");
    if (selected)
        bubble = bubble.accessibilityAddTraits(ui::AccessibilityTrait::selected);
    return bubble;
}

}  // namespace tidewell
