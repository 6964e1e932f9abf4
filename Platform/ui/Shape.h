#pragma once

#include "ui/Path.h"
#include "ui/ShapeStyle.h"
#include "ui/View.h"

#include <functional>
#include <vector>

namespace platform::ui {

enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };

// Widths, dashes and phase in points.
struct StrokeStyle {
    double lineWidth = 1;
    LineCap lineCap = LineCap::butt;
    LineJoin lineJoin = LineJoin::miter;
    double miterLimit = 10;
    std::vector<double> dash;
    double dashPhase = 0;
};

enum class RoundedCornerStyle { circular, continuous };

// A shape: a path for any rectangle. Trimming and insetting give new shapes;
// fill, stroke and strokeBorder make views of them.
class Shape {
public:
    using PathFunction = std::function<Path(const Rect&)>;
    Shape() = default;
    explicit Shape(PathFunction f) : f_(std::move(f)) {}

    Path path(const Rect& r) const { return f_ ? f_(r) : Path(); }
    explicit operator bool() const { return bool(f_); }

    Shape trim(double from, double to) const;
    Shape inset(double amount) const;

    View fill(ShapeStyle style) const;
    View fill() const;  // the foreground style
    View stroke(ShapeStyle style, StrokeStyle stroke) const;
    View stroke(ShapeStyle style, double lineWidth = 1) const;
    // The stroke drawn inside the shape's edge.
    View strokeBorder(ShapeStyle style, StrokeStyle stroke) const;
    View strokeBorder(ShapeStyle style, double lineWidth = 1) const;

    // As a view, filled with the foreground style.
    View view() const { return fill(); }

    // A plain rectangle over its frame (clipping to it needs no mask).
    bool isRectangle() const { return rectangle_; }
    static Shape rectangle();

private:
    PathFunction f_;
    bool rectangle_ = false;
};

Shape Rectangle();
Shape RoundedRectangle(double cornerRadius, RoundedCornerStyle style = RoundedCornerStyle::continuous);
Shape Capsule(RoundedCornerStyle style = RoundedCornerStyle::continuous);
// The largest circle centred in the rectangle.
Shape Circle();
Shape Ellipse();
Shape PathShape(std::function<Path(const Rect&)> f);

// A rectangle with its own radius at each corner (0 keeps a corner square);
// radii are limited to half the shorter side.
struct RectangleCornerRadii {
    double topLeading = 0, bottomLeading = 0, bottomTrailing = 0, topTrailing = 0;
};
Shape UnevenRoundedRectangle(RectangleCornerRadii radii);

}  // namespace platform::ui
