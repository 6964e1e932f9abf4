#include "kit/GlassOrBorderedButton.h"

#include "ui/Button.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View GlassOrBorderedButton(const ui::View& button) {
    return button.modifier(ui::buttonStyle(ui::borderedButtonStyle()));
}

}  // namespace tidewell
