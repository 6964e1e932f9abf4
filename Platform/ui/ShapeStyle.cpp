#include "ui/ShapeStyle.h"

namespace platform::ui {

Gradient::Gradient(std::initializer_list<Color> colors)
{
    const size_t n = colors.size();
    size_t i = 0;
    for (const Color& c : colors) {
        stops.push_back({c, n > 1 ? double(i) / double(n - 1) : 0.0});
        ++i;
    }
}

Gradient Gradient::withStops(std::vector<GradientStop> stops)
{
    Gradient g;
    g.stops = std::move(stops);
    return g;
}

namespace {
Gradient fade(Gradient g, double f)
{
    for (auto& s : g.stops)
        s.color = s.color.opacity(f);
    return g;
}
}  // namespace

ShapeStyle ShapeStyle::opacity(double factor) const
{
    return std::visit(
        [&](const auto& v) -> ShapeStyle {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Color>) {
                return v.opacity(factor);
            } else if constexpr (std::is_same_v<T, LinearGradient> || std::is_same_v<T, RadialGradient> ||
                                 std::is_same_v<T, AngularGradient>) {
                T copy = v;
                copy.gradient = fade(v.gradient, factor);
                return copy;
            } else if constexpr (std::is_same_v<T, HierarchicalStyle>) {
                // A faded hierarchical level becomes a concrete colour.
                const Color base = v.level == 0   ? Color::primary()
                                   : v.level == 1 ? Color::secondary()
                                                  : Color::tertiary();
                return base.opacity(factor);
            } else {
                return materialColor(v).opacity(factor);
            }
        },
        value_);
}

Color materialColor(Material m)
{
    // Without a backdrop blur a material is a translucent wash of the window
    // colour; thicker materials are more opaque.
    double a = 0.72;
    switch (m) {
    case Material::ultraThin: a = 0.45; break;
    case Material::thin: a = 0.6; break;
    case Material::regular: a = 0.72; break;
    case Material::thick: a = 0.84; break;
    case Material::ultraThick: a = 0.92; break;
    case Material::bar: a = 0.8; break;
    }
    return Color::dynamic(Color::sRGB(0.97, 0.97, 0.98, a), Color::sRGB(0.16, 0.17, 0.19, a));
}

}  // namespace platform::ui
