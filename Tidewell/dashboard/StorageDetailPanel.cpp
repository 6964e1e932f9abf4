#include "dashboard/StorageDetailPanel.h"

#include "foundation/Formatters.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/StackVocabulary.h"
#include "kit/TreePalette.h"
#include "shell/GlassBackground.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;
using ui::Color;

std::string storageDetailCountLine(const TypeSummaryDTO& s)
{
    return std::to_string(s.project_count) + (s.project_count == 1 ? " project" : " projects") + " · " +
           platform::formatByteCount(s.total_bytes) + " total";
}

ProtectionChip protectionChip(bool userProtected, StorageNodeStatus status)
{
    if (userProtected)
        return {"Unprotect", "lock.open.fill", true};
    if (status == StorageNodeStatus::protected_)
        return {"Protected", "lock.fill", false};
    return {"Protect", "lock.fill", true};
}

namespace {

// An open padlock drawn for the chip: the icon set's open lock lifts its
// shackle a hair above the body, which at caption size reads as closed. Here
// the shackle swings out past the body, so it reads open at any size.
constexpr const char* kOpenLockSvg =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 256 256"><path d="M32,128H144a16,16,0,0,1,16,16V224)"
    R"(a16,16,0,0,1-16,16H32a16,16,0,0,1-16-16V144A16,16,0,0,1,32,128Z"/><path d="M120,128V80a52,52,0,0,1,104,0)"
    R"(v28H204V80a32,32,0,0,0-64,0v48Z"/></svg>)";

ui::View chipSymbol(const std::string& symbol)
{
    if (symbol != "lock.open.fill")
        return ui::View(ui::Image::systemName(symbol));
    // The size a symbol takes at the chip's caption font.
    const double side = ui::Font::caption().size() * 1.2;
    return ui::View(ui::Image::svgData(QByteArray(kOpenLockSvg), "chip:lock.open")
                        .resizable()
                        .renderingMode(ui::ImageRenderingMode::template_))
        .frame(side, side);
}

ui::View chip(const std::string& title, const std::string& symbol, bool prominent, bool enabled,
              const std::function<void()>& action, const std::string& help = {})
{
    const ui::View face = ui::HStack(ui::VerticalAlignment::center, 5,
                                     {chipSymbol(symbol), ui::Text(title)})
                              .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                              .foregroundStyle(Color::white())
                              .lineLimit(1)
                              .fixedSize()
                              .padding(ui::EdgeInsets{6, 10, 6, 10})
                              .background(ui::Capsule().fill(prominent ? TreePalette::activeGreen().opacity(0.24)
                                                                       : Color::white().opacity(0.08)))
                              .overlay(ui::Capsule().strokeBorder(Color::white().opacity(prominent ? 0.32 : 0.16), 1));
    ui::View button = PointingHandCursorModifier(
        ui::Button(face, [action] { if (action) action(); }).modifier(ui::buttonStyle(ui::plainButtonStyle())))
                          .disabled(!enabled)
                          .opacity(enabled ? 1 : 0.42);
    return help.empty() ? button : button.help(help);
}

}  // namespace

ui::View StorageDetailPanel::body() const
{
    const auto& s = node.summary;
    const Color tint = stackTint(s.project_type);
    const Color& statusColor = storageStatusColor(node.status);
    const bool isProtected = node.status == StorageNodeStatus::protected_;

    const ui::View mark = ui::View(ui::Image::systemName(stackSymbol(s.project_type)))
                              .font(ui::Font::system(16, ui::FontWeight::semibold))
                              .foregroundStyle(Color::white());
    const ui::View stackIcon = ui::ZStack({
                                              ui::Circle().fill(tint.opacity(0.9)),
                                              ui::Circle().strokeBorder(Color::white().opacity(0.4), 1),
                                              mark,
                                          })
                                   .frame(40, 40)
                                   .accessibilityHidden(true);
    const ui::View badge = ui::Text(storageStatusWord(node.status))
                               .font(ui::Font::caption2().bold())
                               .foregroundStyle(statusColor)
                               .padding(ui::EdgeInsets{2, 7, 2, 7})
                               .background(ui::Capsule().fill(statusColor.opacity(0.16)));
    ui::ViewList lines{
        ui::HStack(ui::VerticalAlignment::center, 8,
                   {ui::Text(s.label).font(ui::Font::headline()).foregroundStyle(Color::white()).lineLimit(1), badge}),
        ui::Text(storageDetailCountLine(s))
            .font(ui::Font::caption())
            .foregroundStyle(Color::white().opacity(0.72))
            .lineLimit(1),
        ui::Text(platform::formatByteCount(s.reclaimable_bytes) + " reclaimable")
            .font(ui::Font::subheadline().weight(ui::FontWeight::semibold))
            .foregroundStyle(TreePalette::activeGreen()),
    };
    if (isProtected)
        lines.push_back(ui::HStack(ui::VerticalAlignment::center, 4,
                                   {ui::View(ui::Image::systemName("lock.fill")), ui::Text("Deletion is disabled")})
                            .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                            .foregroundStyle(TreePalette::protectedGrey()));
    const ui::View identity =
        ui::HStack(ui::VerticalAlignment::center, 12,
                   {stackIcon, ui::VStack(ui::HorizontalAlignment::leading, 3, std::move(lines))});

    const ProtectionChip protect = protectionChip(userProtected, node.status);
    const ui::View actions = ui::HStack(
        ui::VerticalAlignment::center, 6,
        {chip("View Details", "list.bullet.rectangle", false, true, onDetails),
         chip("Clean", "leaf.fill", true, canClean, onClean,
              canClean ? "Move safe folders for this stack to Trash" : "Deletion is disabled"),
         chip(protect.title, protect.symbol, false, protect.enabled, protect.enabled ? onProtect : nullptr)});

    const ui::Shape shape = ui::RoundedRectangle(18);
    ui::FrameSpec capped;
    capped.maxWidth = 560;
    capped.alignment = ui::Alignment::leading;
    const ui::View arranged =
        ui::ViewThatFits(ui::Axes::horizontalOnly(),
                         {ui::HStack(ui::VerticalAlignment::center, 14, {identity, ui::Spacer(8), actions}),
                          ui::VStack(ui::HorizontalAlignment::leading, 10, {identity, actions})})
            .padding(14)
            .frame(capped);
    return glassBackground(arranged, 18, Color::rgb255(7, 24, 32, 0.78))
        .overlay(shape.strokeBorder(tint.opacity(0.45), 1).allowsHitTesting(false))
        .shadow(Color::black().opacity(0.35), 16, 0, 8)
        .accessibilityElement(ui::AccessibilityChildBehavior::contain);
}

}  // namespace tidewell
