#include "kit/ForestPageHeader.h"

#include "kit/DisplayFont.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

ui::View titleBlock(const std::string& title, const std::string& subtitle) {
    return ui::VStack(ui::HorizontalAlignment::leading, 4,
                      {
                          ui::Text(title).font(displayTitleFont(30)).lineLimit(2).minimumScaleFactor(0.7),
                          ui::Text(subtitle)
                              .font(ui::Font::callout())
                              .foregroundStyle(ui::ShapeStyle::secondary())
                              .fixedSize(false, true),
                      });
}

}  // namespace

ui::View ForestPageHeader(const std::string& title, const std::string& subtitle, ui::View trailing) {
    const ui::View wide = ui::HStack(ui::VerticalAlignment::center, 12,
                                     {titleBlock(title, subtitle), ui::Spacer(12), trailing.layoutPriority(1)});
    const ui::View narrow = ui::VStack(ui::HorizontalAlignment::leading, 10,
                                       {
                                           titleBlock(title, subtitle),
                                           ui::HStack({ui::Spacer(0), trailing}),
                                       });
    return ui::ViewThatFits(ui::Axes::horizontalOnly(), {wide, narrow}).fixedSize(false, true);
}

}  // namespace tidewell
