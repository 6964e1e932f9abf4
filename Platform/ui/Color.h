#pragma once

#include <cstdint>
#include <optional>

namespace platform::ui {

enum class ColorScheme { light, dark };

// A colour resolved for one scheme: sRGB components and alpha, each 0–1.
struct RGBA {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;
    bool operator==(const RGBA&) const = default;
};

// An sRGB colour with opacity, optionally with a separate dark variant that
// the environment's colour scheme selects when the colour is drawn.
class Color {
public:
    constexpr Color() = default;  // clear

    // Components 0–1.
    static Color sRGB(double red, double green, double blue, double opacity = 1.0);
    // Components 0–255.
    static Color rgb255(int red, int green, int blue, double opacity = 1.0);
    // 0xRRGGBB.
    static Color hex(std::uint32_t rgb, double opacity = 1.0);
    static Color white(double white, double opacity = 1.0);
    // A colour that follows the colour scheme.
    static Color dynamic(const Color& light, const Color& dark);

    // A new colour whose opacity is this one's multiplied by `factor` (both variants).
    Color opacity(double factor) const;

    RGBA resolve(ColorScheme scheme) const;
    bool isDynamic() const { return dark_.has_value(); }
    bool operator==(const Color&) const = default;

    // Named colours, with the desktop's light and dark values.
    static Color clear();
    static Color black();
    static Color white();
    static Color gray();
    static Color red();
    static Color orange();
    static Color yellow();
    static Color green();
    static Color mint();
    static Color teal();
    static Color cyan();
    static Color blue();
    static Color indigo();
    static Color purple();
    static Color pink();
    static Color brown();
    // Label colours: black in light, white in dark, at the label opacities.
    static Color primary();
    static Color secondary();
    static Color tertiary();

private:
    RGBA light_{};
    std::optional<RGBA> dark_;
};

}  // namespace platform::ui
