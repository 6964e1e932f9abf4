#include "dashboard/TreeSceneCanvas.h"

#include <cmath>

namespace tidewell {

namespace ui = platform::ui;

bool treeSceneDrawable(ui::Size size)
{
    return size.width > 0 && size.height > 0 && std::isfinite(size.width) && std::isfinite(size.height);
}

ui::StrokeStyle roundLine(double width)
{
    ui::StrokeStyle s;
    s.lineWidth = width;
    s.lineCap = ui::LineCap::round;
    return s;
}

ui::View treeSceneCanvas(std::function<void(ui::GraphicsContext&, ui::Size)> draw)
{
    return ui::Canvas([draw = std::move(draw)](ui::GraphicsContext& context, ui::Size size) {
               if (treeSceneDrawable(size))
                   draw(context, size);
           })
        .allowsHitTesting(false)
        .accessibilityHidden(true);
}

}  // namespace tidewell
