#include "dashboard/ForestEmptySapling.h"

#include "kit/TreePalette.h"
#include "ui/Canvas.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ForestEmptySapling() {
    return ui::Canvas([](ui::GraphicsContext& ctx, ui::Size size) {
               const double w = size.width, h = size.height;
               if (!(w > 0 && h > 0)) return;
               ctx.fill(ui::Path::rect({0, 0, w, h}),
                        ui::Shading::linearGradient(ui::Gradient{TreePalette::nightDeep(), TreePalette::night()},
                                                    {w / 2, 0}, {w / 2, h}));

               ui::Path stem;
               stem.move({w / 2, 0.82 * h});
               stem.addQuadCurve({w / 2, 0.38 * h}, {w / 2 - 10, 0.6 * h});
               ui::StrokeStyle wood;
               wood.lineWidth = 8;
               wood.lineCap = ui::LineCap::round;
               ctx.stroke(stem, TreePalette::bark(), wood);
               wood.lineWidth = 2;
               ctx.stroke(stem, TreePalette::barkLight().opacity(0.7), wood);

               const ui::Color leaf = TreePalette::activeGreen();
               const ui::Rect crown{0.32 * w, 0.18 * h, 0.36 * w, 0.32 * h};
               ctx.fill(ui::Path::ellipse(crown),
                        ui::Shading::radialGradient(ui::Gradient{leaf.opacity(0.85), leaf.opacity(0)},
                                                    {crown.x + crown.width / 2, crown.y + crown.height / 2}, 4,
                                                    0.55 * crown.width));

               const ui::Rect ground{0.28 * w, 0.76 * h, 0.44 * w, 0.16 * h};
               ctx.fill(ui::Path::ellipse(ground),
                        ui::Shading::radialGradient(ui::Gradient{leaf.opacity(0.45), ui::Color::rgb255(12, 51, 40)},
                                                    {ground.x + ground.width / 2, ground.y + ground.height / 2}, 2,
                                                    0.5 * ground.width));
           })
        .accessibilityHidden();
}

}  // namespace tidewell
