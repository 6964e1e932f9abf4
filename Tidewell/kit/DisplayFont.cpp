#include "kit/DisplayFont.h"

#include "kit/BundledFonts.h"
#include "kit/Theme.h"

namespace tidewell {

namespace ui = platform::ui;

ui::Font displayTitleFont(double size) {
    if (frauncesRegistered()) return ui::Font::custom(Theme::displayFontFamily, size).weight(ui::FontWeight::bold);
    return ui::Font::system(size, ui::FontWeight::bold, ui::FontDesign::serif);
}

}  // namespace tidewell
