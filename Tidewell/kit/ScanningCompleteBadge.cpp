#include "kit/ScanningCompleteBadge.h"

#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ScanningCompleteBadge() {
    ui::FrameSpec rowHeight;
    rowHeight.maxHeight = ui::infinity;
    // The glass branch is for a newer desktop than any we run on; the
    // capsule wash is the look everywhere.
    return ui::HStack(ui::VerticalAlignment::center, 6,
                      {
                          ui::Image::systemName("checkmark.circle.fill"),
                          ui::Text("Scanning complete"),
                      })
        .font(ui::Font::callout().weight(ui::FontWeight::medium))
        .foregroundStyle(Theme::reclaim())
        .padding(ui::Edges::horizontal(), 10)
        .padding(ui::Edges::vertical(), 2)
        .frame(rowHeight)
        .background(ui::Capsule(ui::RoundedCornerStyle::continuous).fill(Theme::reclaim().opacity(0.16)));
}

}  // namespace tidewell
