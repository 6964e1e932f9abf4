#include "projects/TimelineRail.h"

#include "ui/Canvas.h"
#include "ui/Path.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View TimelineRail(bool showsLineAbove, bool showsLineBelow, ui::Color tint, double nodeY) {
    return ui::Canvas([=](ui::GraphicsContext& context, ui::Size size) {
        const double x = size.width / 2;
        // The segments stop 1 point clear of the 16-point halo.
        ui::Path line;
        if (showsLineAbove) {
            line.move({x, 0});
            line.addLine({x, nodeY - 9});
        }
        if (showsLineBelow) {
            line.move({x, nodeY + 9});
            line.addLine({x, size.height});
        }
        if (showsLineAbove || showsLineBelow) {
            ui::StrokeStyle style;
            style.lineWidth = 1.5;
            style.lineCap = ui::LineCap::round;
            style.lineJoin = ui::LineJoin::miter;
            style.miterLimit = 10;
            context.stroke(line, ui::Color::primary().opacity(0.18), style);
        }
        context.fill(ui::Path::ellipse({x - 8, nodeY - 8, 16, 16}), tint.opacity(0.22));
        context.fill(ui::Path::ellipse({x - 4, nodeY - 4, 8, 8}), tint);
    });
}

}  // namespace tidewell
