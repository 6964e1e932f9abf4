#include "dashboard/StorageNodeView.h"

#include <algorithm>
#include <cmath>

#include "foundation/Formatters.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/StackIcon.h"
#include "kit/StackVocabulary.h"
#include "kit/ThemeSpring.h"
#include "ui/Animation.h"
#include "ui/Button.h"
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
    const bool large = d >= 124;
    ui::ViewList rows{icon(node.id(), storageNodeIconSide(d))};
    if (d >= 104)
        rows.push_back(ui::Text(node.summary.label)
                           .font(ui::Font::system(large ? 13 : 11.5, ui::FontWeight::bold, ui::FontDesign::rounded))
                           .foregroundStyle(Color::white())
                           .multilineTextAlignment(ui::TextAlignment::center)
                           .lineLimit(2)
                           .minimumScaleFactor(0.65));
    rows.push_back(ui::Text(platform::formatByteCount(node.summary.reclaimable_bytes))
                       .font(ui::Font::system(large ? 11.5 : 10.5, ui::FontWeight::semibold, ui::FontDesign::rounded)
                                 .monospacedDigit())
                       .foregroundStyle(Color::white())
                       .lineLimit(1)
                       .minimumScaleFactor(0.65)
                       .padding(ui::EdgeInsets{3, 8, 3, 8})
                       .background(ui::Capsule().fill(Color::white().opacity(0.14)))
                       .overlay(ui::Capsule().stroke(Color::white().opacity(0.28), 0.8)));
    return ui::VStack(ui::HorizontalAlignment::center, std::max(0.04 * d, 3.0), std::move(rows))
        .padding(ui::EdgeInsets{0.1 * d, 0.14 * d, 0.1 * d, 0.14 * d});
}

ui::View face(const StorageNodeModel& node, bool selected, const Color& tint, double d)
{
    ui::LinearGradient gloss{ui::Gradient{Color::white().opacity(0.22), Color::white().opacity(0)}, ui::UnitPoint::top,
                             ui::UnitPoint::center};
    ui::LinearGradient rim{ui::Gradient{Color::white().opacity(selected ? 1.0 : 0.82), tint, tint.opacity(0.35)},
                           ui::UnitPoint::topLeading, ui::UnitPoint::bottomTrailing};
    return ui::ZStack({
                          ui::Circle().fill(Color::rgb255(7, 24, 32, 0.82)),
                          ui::Circle().fill(ui::RadialGradient{ui::Gradient{tint.opacity(0.55), tint.opacity(0.08)},
                                                               ui::UnitPoint{0.32, 0.28}, 2, 0.72 * d}),
                          ui::Circle().inset(1.5).fill(gloss),
                          ui::Circle().strokeBorder(rim, selected ? 2.6 : 1.35),
                          faceContent(node, d),
                      })
        .frame(d, d)
        .clipShape(ui::Circle());
}

ui::View statusBadge(StorageNodeStatus status)
{
    const Color& c = storageStatusColor(status);
    ui::View dot = ui::ZStack({ui::Circle().fill(c), ui::Circle().strokeBorder(Color::white().opacity(0.85), 1)})
                       .frame(9, 9)
                       .shadow(c.opacity(0.9), 4);
    if (status == StorageNodeStatus::protected_)
        dot = ui::ZStack({dot, ui::View(ui::Image::systemName("lock.fill"))
                                   .font(ui::Font::system(7, ui::FontWeight::bold))
                                   .foregroundStyle(Color::white())
                                   .offset(8, 6)});
    return dot.accessibilityHidden(true);
}

}  // namespace

ui::View StorageNodeView::body() const
{
    const double d = node.diameter;
    const Color tint = stackTint(node.id());
    const double glow = storageNodeGlow(selected, hovered, index, time, reduceMotion);
    const std::string size = platform::formatByteCount(node.summary.reclaimable_bytes);

    ui::View decorated = face(node, selected, tint, d);
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
    decorated = decorated.overlay(statusBadge(node.status).offset(-0.06 * d, 0.06 * d), ui::Alignment::topTrailing);

    const auto select = onSelect;
    const ui::View button = PointingHandCursorModifier(
        ui::Button(decorated, [select] { if (select) select(); })
            .modifier(ui::buttonStyle(ui::plainButtonStyle()))
            .contentShape(ui::Circle()));
    const ui::View halo = ui::Circle()
                              .fill(ui::RadialGradient{ui::Gradient{tint.opacity(0.55 * glow), tint.opacity(0)},
                                                       ui::UnitPoint::center, 0.28 * d, 0.78 * d})
                              .frame(1.55 * d, 1.55 * d)
                              .allowsHitTesting(false);

    const std::optional<ui::Animation> swell = reduceMotion ? std::nullopt : std::optional(themeSpring());
    const std::optional<ui::Animation> entrance =
        reduceMotion ? std::nullopt : std::optional(ui::Animation::spring(0.66, 0.76).delayed(index * 0.05));
    const double scale = storageNodeScale(selected, hovered);
    const bool shown = appeared || reduceMotion;

    ui::View bubble = ui::ZStack({halo, button}).shadow(tint.opacity(0.28 + 0.25 * glow), selected ? 16 : 8, 0, 5);
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
