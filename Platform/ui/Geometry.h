#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace platform::ui {

inline constexpr double infinity = std::numeric_limits<double>::infinity();

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
    Point operator+(Point o) const { return {x + o.x, y + o.y}; }
    Point operator-(Point o) const { return {x - o.x, y - o.y}; }
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static Rect of(Point origin, Size size) { return {origin.x, origin.y, size.width, size.height}; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Point center() const { return {midX(), midY()}; }
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < maxX() && p.y < maxY(); }
    Rect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }
    Rect offsetBy(double dx, double dy) const { return {x + dx, y + dy, width, height}; }
    bool operator==(const Rect&) const = default;
};

struct Angle {
    double radians = 0;
    static constexpr Angle degrees(double d) { return {d * 3.14159265358979323846 / 180.0}; }
    static constexpr Angle fromRadians(double r) { return {r}; }
    double inDegrees() const { return radians * 180.0 / 3.14159265358979323846; }
    bool operator==(const Angle&) const = default;
};

// A point in a rectangle's unit square: (0, 0) top leading, (1, 1) bottom trailing.
struct UnitPoint {
    double x = 0.5;
    double y = 0.5;
    static const UnitPoint zero;
    static const UnitPoint center;
    static const UnitPoint leading;
    static const UnitPoint trailing;
    static const UnitPoint top;
    static const UnitPoint bottom;
    static const UnitPoint topLeading;
    static const UnitPoint topTrailing;
    static const UnitPoint bottomLeading;
    static const UnitPoint bottomTrailing;
    Point in(const Rect& r) const { return {r.x + x * r.width, r.y + y * r.height}; }
    bool operator==(const UnitPoint&) const = default;
};

inline constexpr UnitPoint UnitPoint::zero{0, 0};
inline constexpr UnitPoint UnitPoint::center{0.5, 0.5};
inline constexpr UnitPoint UnitPoint::leading{0, 0.5};
inline constexpr UnitPoint UnitPoint::trailing{1, 0.5};
inline constexpr UnitPoint UnitPoint::top{0.5, 0};
inline constexpr UnitPoint UnitPoint::bottom{0.5, 1};
inline constexpr UnitPoint UnitPoint::topLeading{0, 0};
inline constexpr UnitPoint UnitPoint::topTrailing{1, 0};
inline constexpr UnitPoint UnitPoint::bottomLeading{0, 1};
inline constexpr UnitPoint UnitPoint::bottomTrailing{1, 1};

enum class HorizontalAlignment { leading, center, trailing };
enum class VerticalAlignment { top, center, bottom, firstTextBaseline, lastTextBaseline };

struct Alignment {
    HorizontalAlignment horizontal = HorizontalAlignment::center;
    VerticalAlignment vertical = VerticalAlignment::center;

    static const Alignment center;
    static const Alignment leading;
    static const Alignment trailing;
    static const Alignment top;
    static const Alignment bottom;
    static const Alignment topLeading;
    static const Alignment topTrailing;
    static const Alignment bottomLeading;
    static const Alignment bottomTrailing;
    bool operator==(const Alignment&) const = default;
};

inline constexpr Alignment Alignment::center{HorizontalAlignment::center, VerticalAlignment::center};
inline constexpr Alignment Alignment::leading{HorizontalAlignment::leading, VerticalAlignment::center};
inline constexpr Alignment Alignment::trailing{HorizontalAlignment::trailing, VerticalAlignment::center};
inline constexpr Alignment Alignment::top{HorizontalAlignment::center, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottom{HorizontalAlignment::center, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::topLeading{HorizontalAlignment::leading, VerticalAlignment::top};
inline constexpr Alignment Alignment::topTrailing{HorizontalAlignment::trailing, VerticalAlignment::top};
inline constexpr Alignment Alignment::bottomLeading{HorizontalAlignment::leading, VerticalAlignment::bottom};
inline constexpr Alignment Alignment::bottomTrailing{HorizontalAlignment::trailing, VerticalAlignment::bottom};

// Edge sets, combinable with |.
enum class Edge : unsigned { top = 1, leading = 2, bottom = 4, trailing = 8 };
struct Edges {
    unsigned bits = 15;
    constexpr Edges() = default;
    constexpr Edges(Edge e) : bits(unsigned(e)) {}
    constexpr explicit Edges(unsigned b) : bits(b) {}
    static constexpr Edges all() { return Edges(15u); }
    static constexpr Edges horizontal() { return Edges(unsigned(Edge::leading) | unsigned(Edge::trailing)); }
    static constexpr Edges vertical() { return Edges(unsigned(Edge::top) | unsigned(Edge::bottom)); }
    constexpr bool has(Edge e) const { return bits & unsigned(e); }
    friend constexpr Edges operator|(Edges a, Edges b) { return Edges(a.bits | b.bits); }
};
constexpr Edges operator|(Edge a, Edge b) { return Edges(unsigned(a) | unsigned(b)); }

struct EdgeInsets {
    double top = 0;
    double leading = 0;
    double bottom = 0;
    double trailing = 0;
    static EdgeInsets all(double v) { return {v, v, v, v}; }
    static EdgeInsets on(Edges edges, double v)
    {
        return {edges.has(Edge::top) ? v : 0, edges.has(Edge::leading) ? v : 0,
                edges.has(Edge::bottom) ? v : 0, edges.has(Edge::trailing) ? v : 0};
    }
    bool operator==(const EdgeInsets&) const = default;
};

enum class Axis { horizontal, vertical };
struct Axes {
    bool horizontal = true;
    bool vertical = true;
    static constexpr Axes both() { return {true, true}; }
    static constexpr Axes horizontalOnly() { return {true, false}; }
    static constexpr Axes verticalOnly() { return {false, true}; }
};

// What a parent offers a child: a missing dimension asks for the child's
// ideal size; infinity asks for its largest.
struct ProposedSize {
    std::optional<double> width;
    std::optional<double> height;

    static ProposedSize unspecified() { return {}; }
    static ProposedSize zero() { return {0.0, 0.0}; }
    static ProposedSize infinite() { return {infinity, infinity}; }
    static ProposedSize of(Size s) { return {s.width, s.height}; }
    // Missing dimensions replaced by `fallback`.
    Size replacingUnspecified(Size fallback) const
    {
        return {width.value_or(fallback.width), height.value_or(fallback.height)};
    }
    bool operator==(const ProposedSize&) const = default;
};

inline double alignedOffset(HorizontalAlignment a, double container, double child)
{
    switch (a) {
    case HorizontalAlignment::leading: return 0;
    case HorizontalAlignment::center: return (container - child) / 2;
    case HorizontalAlignment::trailing: return container - child;
    }
    return 0;
}

}  // namespace platform::ui
