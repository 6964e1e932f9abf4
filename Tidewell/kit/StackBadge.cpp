#include "kit/StackBadge.h"

#include "kit/IconTile.h"
#include "kit/StackVocabulary.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View StackBadge(const std::string& type) {
    const ui::Shape capsule = ui::Capsule(ui::RoundedCornerStyle::continuous);
    return ui::HStack(ui::VerticalAlignment::center, 6,
                      {
                          IconTile(type, 18, 5),
                          ui::Text(stackDisplayName(type))
                              .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                              .foregroundStyle(ui::ShapeStyle::primary()),
                      })
        .padding(ui::Edges::horizontal(), 8)
        .padding(ui::Edges::vertical(), 4)
        .background(capsule.fill(ui::Color::primary().opacity(0.05)))
        .overlay(capsule.strokeBorder(ui::Color::primary().opacity(0.08), 1).allowsHitTesting(false));
}

}  // namespace tidewell
