#include "dashboard/StorageLegendView.h"

#include "dashboard/StorageNodeStatus.h"
#include "kit/TreePalette.h"
#include "shell/GlassBackground.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;
using ui::Color;

namespace {

ui::View label(const char* text)
{
    return ui::Text(text)
        .font(ui::Font::caption2().weight(ui::FontWeight::medium))
        .foregroundStyle(Color::white().opacity(0.86));
}

ui::View circleRow(StorageNodeStatus status)
{
    const Color& c = storageStatusColor(status);
    return ui::HStack(ui::VerticalAlignment::center, 8,
                      {ui::Circle().fill(c).frame(8, 8).shadow(c.opacity(0.8), 3), label(storageStatusWord(status))});
}

}  // namespace

ui::View StorageLegendView()
{
    const ui::View lockRow = ui::HStack(ui::VerticalAlignment::center, 8,
                                        {ui::View(ui::Image::systemName("lock.fill"))
                                             .font(ui::Font::system(9, ui::FontWeight::bold))
                                             .foregroundStyle(TreePalette::protectedGrey())
                                             .frame(10, std::nullopt),
                                         label("Protected")});
    const ui::Shape shape = ui::RoundedRectangle(14);
    const ui::View rows = ui::VStack(ui::HorizontalAlignment::leading, 8,
                                     {circleRow(StorageNodeStatus::active), circleRow(StorageNodeStatus::idle),
                                      circleRow(StorageNodeStatus::reclaimable), lockRow})
                              .padding(ui::EdgeInsets{10, 12, 10, 12});
    return glassBackground(rows, 14, Color::rgb255(7, 24, 32, 0.72))
        .overlay(shape.strokeBorder(Color::white().opacity(0.16), 1).allowsHitTesting(false))
        .shadow(Color::black().opacity(0.25), 10, 0, 4)
        .accessibilityElement(ui::AccessibilityChildBehavior::combine)
        .accessibilityLabel("Legend. Active, Idle, Reclaimable, Protected.");
}

}  // namespace tidewell
