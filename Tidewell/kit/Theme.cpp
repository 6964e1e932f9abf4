#include "kit/Theme.h"

namespace tidewell {

using platform::ui::Color;
using platform::ui::Font;
using platform::ui::FontWeight;

Color Theme::accent() { return Color::rgb255(10, 132, 255); }
Color Theme::reclaim() { return Color::rgb255(48, 209, 88); }
Color Theme::caution() { return Color::rgb255(255, 159, 10); }

Color Theme::tileSurface() { return Color::white(); }
Color Theme::tileRim() { return Color::primary().opacity(0.08); }

// The fractions are kept as given, not rounded to whole steps of 1/255.
Color Theme::windowBackground() {
    return Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125));
}
Color Theme::raisedSurface() {
    return Color::dynamic(Color::sRGB(1.0, 1.0, 1.0), Color::sRGB(0.145, 0.185, 0.2));
}

Font Theme::buttonFont() { return Font::system(13, FontWeight::semibold); }
Font Theme::largeButtonFont() { return Font::system(15, FontWeight::semibold); }

}  // namespace tidewell
