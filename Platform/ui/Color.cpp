#include "ui/Color.h"

#include <algorithm>

namespace platform::ui {

namespace {

double unit(double v) { return std::clamp(v, 0.0, 1.0); }

RGBA rgba255(int r, int g, int b, double a = 1.0)
{
    return {unit(r / 255.0), unit(g / 255.0), unit(b / 255.0), unit(a)};
}

Color pair(RGBA light, RGBA dark)
{
    return Color::dynamic(Color::sRGB(light.red, light.green, light.blue, light.alpha),
                          Color::sRGB(dark.red, dark.green, dark.blue, dark.alpha));
}

}  // namespace

Color Color::sRGB(double red, double green, double blue, double opacity)
{
    Color c;
    c.light_ = {unit(red), unit(green), unit(blue), unit(opacity)};
    return c;
}

Color Color::rgb255(int red, int green, int blue, double opacity)
{
    Color c;
    c.light_ = rgba255(red, green, blue, opacity);
    return c;
}

Color Color::hex(std::uint32_t rgb, double opacity)
{
    return rgb255(int((rgb >> 16) & 0xff), int((rgb >> 8) & 0xff), int(rgb & 0xff), opacity);
}

Color Color::white(double white, double opacity) { return sRGB(white, white, white, opacity); }

Color Color::dynamic(const Color& light, const Color& dark)
{
    Color c;
    c.light_ = light.light_;
    c.dark_ = dark.dark_ ? *dark.dark_ : dark.light_;
    return c;
}

Color Color::opacity(double factor) const
{
    Color c = *this;
    c.light_.alpha = unit(c.light_.alpha * factor);
    if (c.dark_)
        c.dark_->alpha = unit(c.dark_->alpha * factor);
    return c;
}

RGBA Color::resolve(ColorScheme scheme) const
{
    if (scheme == ColorScheme::dark && dark_)
        return *dark_;
    return light_;
}

Color Color::clear() { return Color(); }
Color Color::black() { return sRGB(0, 0, 0); }
Color Color::white() { return sRGB(1, 1, 1); }
Color Color::gray() { return pair(rgba255(142, 142, 147), rgba255(152, 152, 157)); }
Color Color::red() { return pair(rgba255(255, 59, 48), rgba255(255, 69, 58)); }
Color Color::orange() { return pair(rgba255(255, 149, 0), rgba255(255, 159, 10)); }
Color Color::yellow() { return pair(rgba255(255, 204, 0), rgba255(255, 214, 10)); }
Color Color::green() { return pair(rgba255(40, 205, 65), rgba255(50, 215, 75)); }
Color Color::mint() { return pair(rgba255(0, 199, 190), rgba255(102, 212, 207)); }
Color Color::teal() { return pair(rgba255(89, 173, 196), rgba255(106, 196, 220)); }
Color Color::cyan() { return pair(rgba255(85, 190, 240), rgba255(90, 200, 245)); }
Color Color::blue() { return pair(rgba255(0, 122, 255), rgba255(10, 132, 255)); }
Color Color::indigo() { return pair(rgba255(88, 86, 214), rgba255(94, 92, 230)); }
Color Color::purple() { return pair(rgba255(175, 82, 222), rgba255(191, 90, 242)); }
Color Color::pink() { return pair(rgba255(255, 45, 85), rgba255(255, 55, 95)); }
Color Color::brown() { return pair(rgba255(162, 132, 94), rgba255(172, 142, 104)); }
Color Color::primary() { return pair({0, 0, 0, 0.85}, {1, 1, 1, 0.85}); }
Color Color::secondary() { return pair({0, 0, 0, 0.5}, {1, 1, 1, 0.55}); }
Color Color::tertiary() { return pair({0, 0, 0, 0.26}, {1, 1, 1, 0.25}); }

}  // namespace platform::ui
