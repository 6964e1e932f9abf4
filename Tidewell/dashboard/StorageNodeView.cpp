#include "dashboard/StorageNodeView.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>
#include <vector>

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

// The bubble's still drawing is kept as pixels per stack: the halo with the
// glowing share of the shadow, the ring's shadow, the face (without the texts
// and icon) over the steady share, and those; each frame lays them down at
// their strengths. Qt fills gradients pixel by pixel and shadows take a blur,
// and seventeen bubbles of them on every frame would cost more than the rest
// of the tree.
struct BubbleCaches {
    ui::CanvasCache glowing, ringShadow, face, content;
    // What the button's shadow and the full halo's cover, on average, along
    // the ring's shadow; taken while the glowing picture is made.
    double buttonUnderRing = 0, haloUnderRing = 0;
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

// The halo at full strength, reaching 0.775 d from the centre.
void drawHalo(ui::GraphicsContext& g, ui::Point c, double d, const Color& tint)
{
    g.fill(ui::Path::ellipse(around(c, 0.775 * d)),
           ui::Shading::radialGradient(ui::Gradient{tint.opacity(0.55), tint.opacity(0)}, c, 0.28 * d, 0.78 * d));
}

const ui::Font& lockFont()
{
    static const ui::Font font = ui::Font::system(7, ui::FontWeight::bold);
    return font;
}

// The selection ring's arc before it turns: 22 % of a circle, from three
// o'clock on; it runs 3 points outside the face.
ui::Shape selectionRing() { return ui::Circle().trim(0, 0.22); }

ui::StrokeStyle selectionRingStroke()
{
    ui::StrokeStyle ring;
    ring.lineWidth = 2;
    ring.lineCap = ui::LineCap::round;
    return ring;
}

// What of the button casts the shadow: the face, the status badge and a
// protected stack's lock. The icon and texts lie on the face, whose disc,
// at least 0.82 opaque, hides what they would add.
void drawButtonCoverage(ui::GraphicsContext& g, ui::Point c, double d, const Color& tint, bool selected,
                        StorageNodeStatus status)
{
    drawFace(g, c, d, tint, selected);
    const ui::Point dot = statusDotCentre(c, d);
    drawStatusDot(g, dot, storageStatusColor(status));
    if (status == StorageNodeStatus::protected_)
        g.draw(ui::Image::systemName("lock.fill"), around({dot.x + 8, dot.y + 6}, ui::symbolSide(lockFont()) / 2),
               Color::white());
}

// How far from the centre the button's coverage reaches: the face, or the
// status badge and lock where they stand out past its edge.
double buttonReach(ui::Point c, double d)
{
    const ui::Point dot = statusDotCentre(c, d);
    const double dotFrom = std::hypot(dot.x - c.x, dot.y - c.y);
    const double lockFrom = std::hypot(dot.x + 8 - c.x, dot.y + 6 - c.y);
    return std::max({d / 2 + 2, dotFrom + 8.5, lockFrom + ui::symbolSide(lockFont()) / 2 + 1});
}

// The shadow's opacity at the glow.
double storageNodeShadowOpacity(double glow) { return 0.28 + 0.25 * glow; }

// The middle of the glow's swing in each state.
double middleGlow(bool selected, bool hovered, bool reduceMotion)
{
    if (reduceMotion)
        return selected ? 0.9 : 0.5;
    return selected ? 0.875 : hovered ? 0.8 : 0.48;
}

using Pixels = ui::GraphicsContext::Pixels;

// The coverage of `pixels` along row `y` of an image whose top-left pixel lies
// at `origin`, one value in 0...1 per pixel of `out`; 0 where `pixels` has none.
void coverageRow(const Pixels& pixels, QPoint origin, int y, std::vector<float>& out)
{
    std::fill(out.begin(), out.end(), 0.0f);
    const QPoint to = origin - pixels.origin;
    if (y + to.y() < 0 || y + to.y() >= pixels.image.height())
        return;
    const auto* line = reinterpret_cast<const QRgb*>(pixels.image.constScanLine(y + to.y()));
    const int from = std::max(0, -to.x()), until = std::min(int(out.size()), pixels.image.width() - to.x());
    for (int x = from; x < until; ++x)
        out[size_t(x)] = float(qAlpha(line[x + to.x()])) / 255;
}

// The halo and the glowing share of the shadow as one picture of the tint, to
// lay down at the glow g beneath the face, which carries the steady share.
//
// The shadow's opacity is o(g) = o0 + o1 × g. In coverage, with b the
// button's blurred shadow, s the blurred shadow of the full halo where the
// button leaves it, and h the full halo, the shadow and halo together cover
// 1 − (1 − o(g) × (b + g × s)) × (1 − g × h). The face lays o0 × b beneath
// itself; the picture then holds h + k × (1 − g × h), k = (o1 × b + o(g) × s) /
// (1 − o0 × b), made for the glow at the middle of its swing: within a colour
// level of every frame's.
QImage glowingPicture(const Pixels& button, const Pixels& halo, const Pixels& visible, double g, const ui::RGBA& tint)
{
    const float o0 = float(storageNodeShadowOpacity(0)), o1 = float(storageNodeShadowOpacity(1)) - o0,
                o = float(storageNodeShadowOpacity(g)), glow = float(g);
    std::array<QRgb, 256> shade;
    for (int i = 0; i < 256; ++i)
        shade[size_t(i)] = qRgba(int(tint.red * i + 0.5), int(tint.green * i + 0.5), int(tint.blue * i + 0.5), i);
    QImage out(halo.image.size(), QImage::Format_ARGB32_Premultiplied);
    const size_t width = size_t(out.width());
    std::vector<float> below(width), shadow(width), held(width);
    for (int y = 0; y < out.height(); ++y) {
        coverageRow(button, halo.origin, y, below);
        coverageRow(halo, halo.origin, y, shadow);
        coverageRow(visible, halo.origin, y, held);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (size_t x = 0; x < width; ++x) {
            const float k = (o1 * below[x] + o * shadow[x]) / (1 - o0 * below[x]);
            const float a = std::min(1.0f, held[x] + k * (1 - glow * held[x]));
            line[x] = shade[size_t(a * 255 + 0.5f)];
        }
    }
    return out;
}

// The mean coverage of `pixels` along the circle of `radius` about `centre`.
double meanAlong(const Pixels& pixels, ui::Point centre, double radius)
{
    constexpr int kSamples = 72;
    double sum = 0;
    for (int i = 0; i < kSamples; ++i) {
        const double angle = 2 * std::numbers::pi * i / kSamples;
        const QPoint at = pixels.device.map(QPointF(centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)))
                              .toPoint() -
                          pixels.origin;
        if (pixels.image.rect().contains(at))
            sum += qAlpha(pixels.image.pixel(at));
    }
    return sum / kSamples / 255;
}

// `halo` where `button` leaves it: h × (1 − a), on `halo`'s pixels.
Pixels outside(Pixels halo, const Pixels& button)
{
    std::vector<float> covered(size_t(halo.image.width()));
    for (int y = 0; y < halo.image.height(); ++y) {
        coverageRow(button, halo.origin, y, covered);
        auto* line = reinterpret_cast<QRgb*>(halo.image.scanLine(y));
        for (size_t x = 0; x < covered.size(); ++x)
            line[x] = qRgba(0, 0, 0, int(float(qAlpha(line[x])) * (1 - covered[x]) + 0.5f));
    }
    return halo;
}

// Shadow, halo, face and status dot, centred on a canvas of 1.55 d that the
// shadow overflows by its blur and drop.
//
// The shadow is the one the button and its halo cast together: their joint
// coverage, blurred over 16 points when selected and 8 otherwise, dropped 5
// points, in the tint at 0.28 + 0.25 × glow. With the halo at the glow g that
// coverage is a + g × h × (1 − a), for the button's a and the full halo's h,
// so the button's shadow and the halo's, each blurred once and kept, laid
// down at the frame's strengths give every frame's shadow without blurring
// again: the steady share of the button's beneath the face, in the face's
// picture, and the rest with the halo, in one picture laid down at the glow.
// The turning ring lies beside the face over the halo and adds its coverage
// less what the halo holds there; its blur is kept unturned and laid down
// turned.
ui::View bubbleDrawing(const std::string& stack, double d, const Color& tint, bool selected, bool ring, double glow,
                       double middle, double time, StorageNodeStatus status, int phase)
{
    const double blur = selected ? 16 : 8, drop = 5;
    // How far the blur reaches beyond what casts it.
    const double spread = 1.5 * blur + 3;
    // The shadow's pictures are made at one pixel a point, whatever the
    // display: the blur leaves nothing finer, and at 2× they cost a quarter.
    constexpr double density = 1;
    return ui::Canvas([=](ui::GraphicsContext& g, ui::Size size) {
               BubbleCaches& caches = bubbleCaches(stack, phase);
               const ui::Point c{size.width / 2, size.height / 2}, dropped{c.x, c.y + drop};
               const double r = d / 2, share = std::clamp(glow, 0.0, 1.0);
               const std::string key = cacheKey(d, tint, selected + 2 * int(status));
               const ui::Rect halo = around(c, 0.775 * d);
               // The button's coverage, dropped, and its shadow: made once for
               // both pictures when both are drawn afresh.
               std::optional<Pixels> coverage, buttonShadow;
               const auto drawButton = [&](ui::GraphicsContext& s) { drawButtonCoverage(s, c, d, tint, selected, status); };
               const auto drawFullHalo = [&](ui::GraphicsContext& s) { drawHalo(s, c, d, tint); };
               const auto buttonCoverage = [&](const ui::GraphicsContext& l) -> const Pixels& {
                   if (!coverage || !l.place(*coverage, density))
                       coverage = l.pixels(halo, drawButton, 0, drop, spread, density);
                   return *coverage;
               };
               const auto shadowOfButton = [&](const ui::GraphicsContext& l) -> const Pixels& {
                   if (!buttonShadow || !l.place(*buttonShadow, density))
                       buttonShadow = l.shadowPixels(buttonCoverage(l), tint, blur);
                   return *buttonShadow;
               };

               ui::GraphicsContext glowing = g;
               glowing.opacity *= share;
               glowing.drawCached(caches.glowing, key + "/" + std::to_string(middle), around(dropped, 0.775 * d + spread),
                                  [&](ui::GraphicsContext& l) {
                                      const auto fullHalo = l.pixels(halo, drawFullHalo, 0, drop, spread, density);
                                      const auto haloShadow = l.shadowPixels(outside(fullHalo, buttonCoverage(l)), tint, blur);
                                      const auto visible = l.pixels(halo, drawFullHalo, 0, 0, 0, density);
                                      caches.buttonUnderRing = meanAlong(shadowOfButton(l), dropped, r + 3);
                                      caches.haloUnderRing = meanAlong(haloShadow, dropped, r + 3);
                                      l.drawPixels({glowingPicture(shadowOfButton(l), haloShadow, visible, middle,
                                                                   tint.resolve(l.environment().colorScheme)),
                                                    haloShadow.origin, haloShadow.device});
                                  });
               if (ring) {
                   // Turned about the face's centre, then dropped.
                   ui::GraphicsContext turned = g;
                   // The ring adds its coverage a less what the halo holds
                   // there, a × (1 − g × h), to the rest of the shadow and the
                   // halo, which cover 1 − (1 − o × (b + g × s)) × (1 − g × h)
                   // where it falls; laid over them it needs o / (1 − o × (b + g × s)).
                   const double o = std::clamp(storageNodeShadowOpacity(glow), 0.0, 1.0);
                   turned.opacity *= std::min(1.0, o / (1 - o * (caches.buttonUnderRing + share * caches.haloUnderRing)));
                   turned.translateBy(dropped.x, dropped.y);
                   turned.rotate(ui::Angle::degrees(std::fmod(time * 36, 360)));
                   turned.translateBy(-c.x, -c.y);
                   const ui::Path arc = selectionRing().path(around(c, r + 3));
                   const ui::Rect line = arc.boundingRect().insetBy(-2, -2);
                   turned.drawCached(caches.ringShadow, cacheKey(d, tint, 0), line.insetBy(-spread, -spread),
                                     [&](ui::GraphicsContext& l) {
                                         const auto stroke = l.pixels(line, [&](ui::GraphicsContext& s) {
                                             s.stroke(arc, Color::white().opacity(0.95), selectionRingStroke());
                                         }, 0, 0, spread, density);
                                         l.drawPixels(l.shadowPixels(stroke, tint, blur));
                                     });
               }
               g.drawCached(caches.face, key, around(dropped, buttonReach(c, d) + spread), [&](ui::GraphicsContext& l) {
                   ui::GraphicsContext beneath = l;
                   beneath.opacity *= storageNodeShadowOpacity(0);
                   beneath.drawPixels(shadowOfButton(l));
                   drawFace(l, c, d, tint, selected);
                   drawStatusDot(l, statusDotCentre(c, d), storageStatusColor(status));
               });
           })
        // The shadow overflows the halo's 1.55 d by its blur and drop.
        .frame(1.55 * d + 2 * (spread + drop), 1.55 * d + 2 * (spread + drop))
        .frame(1.55 * d, 1.55 * d)
        .allowsHitTesting(false)
        .accessibilityHidden(true);
}

// The protected badge's lock, beside the dot the face drawing carries.
ui::View protectedLock()
{
    return ui::View(ui::Image::systemName("lock.fill"))
        .font(lockFont())
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
        n += c.glowing.renders() + c.ringShadow.renders() + c.face.renders() + c.content.renders();
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
    const bool ring = selected && !reduceMotion;
    if (ring) {
        decorated = decorated.overlay(selectionRing()
                                          .stroke(Color::white().opacity(0.95), selectionRingStroke())
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
        ui::ZStack({bubbleDrawing(node.id(), d, tint, selected, ring, glow, middleGlow(selected, hovered, reduceMotion),
                                  time, node.status, pixelPhase),
                    button});
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
