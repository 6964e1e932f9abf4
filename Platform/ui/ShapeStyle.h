#pragma once

#include "ui/Color.h"
#include "ui/Geometry.h"

#include <variant>
#include <vector>

namespace platform::ui {

struct GradientStop {
    Color color;
    double location = 0;
    bool operator==(const GradientStop&) const = default;
};

struct Gradient {
    std::vector<GradientStop> stops;
    Gradient() = default;
    // Colours spread evenly from 0 to 1.
    Gradient(std::initializer_list<Color> colors);
    static Gradient withStops(std::vector<GradientStop> stops);
    bool operator==(const Gradient&) const = default;
};

// Points are unit points of the filled shape's bounding rectangle.
struct LinearGradient {
    Gradient gradient;
    UnitPoint startPoint = UnitPoint::top;
    UnitPoint endPoint = UnitPoint::bottom;
    bool operator==(const LinearGradient&) const = default;
};

// Radii in points, from the centre.
struct RadialGradient {
    Gradient gradient;
    UnitPoint center = UnitPoint::center;
    double startRadius = 0;
    double endRadius = 0;
    bool operator==(const RadialGradient&) const = default;
};

// Sweeps clockwise on screen from `startAngle`, measured from the positive x
// axis (three o'clock) towards positive y.
struct AngularGradient {
    Gradient gradient;
    UnitPoint center = UnitPoint::center;
    Angle startAngle{};
    bool operator==(const AngularGradient&) const = default;
};

enum class Material { ultraThin, thin, regular, thick, ultraThick, bar };

// The primary, secondary, tertiary and quaternary foreground levels.
struct HierarchicalStyle {
    int level = 0;
    bool operator==(const HierarchicalStyle&) const = default;
};

class ShapeStyle {
public:
    using Value = std::variant<Color, LinearGradient, RadialGradient, AngularGradient, Material, HierarchicalStyle>;

    ShapeStyle() : value_(HierarchicalStyle{0}) {}
    ShapeStyle(Color c) : value_(c) {}
    ShapeStyle(LinearGradient g) : value_(std::move(g)) {}
    ShapeStyle(RadialGradient g) : value_(std::move(g)) {}
    ShapeStyle(AngularGradient g) : value_(std::move(g)) {}
    ShapeStyle(Material m) : value_(m) {}
    ShapeStyle(HierarchicalStyle h) : value_(h) {}

    static ShapeStyle primary() { return HierarchicalStyle{0}; }
    static ShapeStyle secondary() { return HierarchicalStyle{1}; }
    static ShapeStyle tertiary() { return HierarchicalStyle{2}; }

    const Value& value() const { return value_; }
    bool operator==(const ShapeStyle&) const = default;

    // Multiplies every colour's opacity.
    ShapeStyle opacity(double factor) const;

private:
    Value value_;
};

// The translucent fill that stands for a material, per colour scheme.
Color materialColor(Material m);

}  // namespace platform::ui
