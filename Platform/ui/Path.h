#pragma once

#include "ui/Geometry.h"

#include <QPainterPath>
#include <QTransform>

namespace platform::ui {

// An affine transform. Chained calls apply to points in reverse order, so
// translation(a).rotated(r).scaled(s) scales a point, then rotates it, then
// moves it by a.
class AffineTransform {
public:
    AffineTransform() = default;
    static AffineTransform translation(double dx, double dy);
    static AffineTransform rotation(Angle a);
    static AffineTransform scale(double sx, double sy);

    AffineTransform translated(double dx, double dy) const;
    AffineTransform rotated(Angle a) const;
    AffineTransform scaled(double sx, double sy) const;
    // `other` applied after this one.
    AffineTransform concatenating(const AffineTransform& other) const;

    Point apply(Point p) const;
    const QTransform& qt() const { return t_; }
    bool isIdentity() const { return t_.isIdentity(); }

private:
    QTransform t_;
};

enum class FillRule { nonZero, evenOdd };

// A shape outline in points, y growing downwards. Angles are measured from the
// positive x axis towards positive y, so increasing angles turn clockwise on
// screen.
class Path {
public:
    Path() = default;
    explicit Path(const QPainterPath& p) : p_(p) {}
    static Path rect(const Rect& r);
    // Starts at the rightmost point and runs clockwise on screen, so a trim
    // from 0 begins at three o'clock.
    static Path ellipse(const Rect& r);
    static Path roundedRect(const Rect& r, double radius, bool continuous = true);

    void move(Point to);
    void addLine(Point to);
    void addQuadCurve(Point to, Point control);
    void addCurve(Point to, Point control1, Point control2);
    // `clockwise` as seen on screen.
    void addArc(Point center, double radius, Angle start, Angle end, bool clockwise);
    void addEllipse(const Rect& r);
    void addRect(const Rect& r);
    void addRoundedRect(const Rect& r, double radius, bool continuous = true);
    void addPath(const Path& other, const AffineTransform& t = {});
    void closeSubpath();

    Path applying(const AffineTransform& t) const;
    Path offsetBy(double dx, double dy) const;
    // The part of the outline between the two fractions of its length.
    Path trimmed(double from, double to) const;
    Rect boundingRect() const;
    bool isEmpty() const { return p_.isEmpty(); }
    bool contains(Point p, FillRule rule = FillRule::nonZero) const;
    double length() const;

    const QPainterPath& qt() const { return p_; }

private:
    QPainterPath p_;
};

}  // namespace platform::ui
