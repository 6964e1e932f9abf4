#include "kit/ForestEmptyState.h"

#include "kit/DisplayFont.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ForestEmptyState(const std::string& symbol, const std::string& title, const std::string& detail) {
    ui::FrameSpec detailWidth;
    detailWidth.maxWidth = 400;
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    return ui::VStack(ui::HorizontalAlignment::center, 14,
                      {
                          SymbolTile(symbol, Theme::reclaim(), 48),
                          ui::Text(title).font(displayTitleFont(22)),
                          ui::Text(detail)
                              .font(ui::Font::callout())
                              .foregroundStyle(ui::ShapeStyle::secondary())
                              .multilineTextAlignment(ui::TextAlignment::center)
                              .frame(detailWidth),
                      })
        .frame(fill);
}

}  // namespace tidewell
