#include "kit/ForestIconButton.h"

#include "kit/GlassOrBorderedButton.h"
#include "kit/PointingHandCursorModifier.h"
#include "kit/Theme.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ForestIconButton::body() const {
    ui::FrameSpec atLeast;
    atLeast.minWidth = 18;
    atLeast.minHeight = 18;
    const ui::View label =
        ui::Image::systemName(systemImage).font(Theme::buttonFont()).frame(atLeast).contentShape(ui::Rectangle());
    const ui::View button = GlassOrBorderedButton(ui::Button(label, action))
                                .modifier(ui::controlSize(ui::ControlSize::regular))
                                .contentShape(ui::Rectangle());
    return PointingHandCursorModifier(button).help(help).accessibilityLabel(accessibilityLabel);
}

}  // namespace tidewell
