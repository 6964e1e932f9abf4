#include "ui/Path.h"

#include <cmath>
#include <vector>

namespace platform::ui {

AffineTransform AffineTransform::translation(double dx, double dy) { return AffineTransform().translated(dx, dy); }
AffineTransform AffineTransform::rotation(Angle a) { return AffineTransform().rotated(a); }
AffineTransform AffineTransform::scale(double sx, double sy) { return AffineTransform().scaled(sx, sy); }

AffineTransform AffineTransform::translated(double dx, double dy) const
{
    AffineTransform r = *this;
    r.t_.translate(dx, dy);
    return r;
}

AffineTransform AffineTransform::rotated(Angle a) const
{
    AffineTransform r = *this;
    r.t_.rotateRadians(a.radians);
    return r;
}

AffineTransform AffineTransform::scaled(double sx, double sy) const
{
    AffineTransform r = *this;
    r.t_.scale(sx, sy);
    return r;
}

AffineTransform AffineTransform::concatenating(const AffineTransform& other) const
{
    AffineTransform r;
    r.t_ = t_ * other.t_;
    return r;
}

Point AffineTransform::apply(Point p) const
{
    const QPointF q = t_.map(QPointF(p.x, p.y));
    return {q.x(), q.y()};
}

namespace {
QPointF q(Point p) { return {p.x, p.y}; }
}  // namespace

Path Path::rect(const Rect& r)
{
    Path p;
    p.addRect(r);
    return p;
}

Path Path::ellipse(const Rect& r)
{
    Path p;
    p.addEllipse(r);
    return p;
}

Path Path::roundedRect(const Rect& r, double radius, bool continuous)
{
    Path p;
    p.addRoundedRect(r, radius, continuous);
    return p;
}

void Path::move(Point to) { p_.moveTo(q(to)); }
void Path::addLine(Point to) { p_.lineTo(q(to)); }
void Path::addQuadCurve(Point to, Point control) { p_.quadTo(q(control), q(to)); }
void Path::addCurve(Point to, Point c1, Point c2) { p_.cubicTo(q(c1), q(c2), q(to)); }

void Path::addArc(Point center, double radius, Angle start, Angle end, bool clockwise)
{
    double sweep = end.radians - start.radians;
    const double turn = 2 * M_PI;
    if (clockwise) {
        while (sweep < 0) sweep += turn;
    } else {
        while (sweep > 0) sweep -= turn;
    }
    const QRectF box(center.x - radius, center.y - radius, 2 * radius, 2 * radius);
    const QPointF startPoint(center.x + radius * std::cos(start.radians), center.y + radius * std::sin(start.radians));
    if (p_.elementCount() == 0)
        p_.moveTo(startPoint);
    else
        p_.lineTo(startPoint);
    // Qt counts degrees anticlockwise on screen; ours turn clockwise.
    p_.arcTo(box, -start.inDegrees(), -sweep * 180.0 / M_PI);
}

void Path::addEllipse(const Rect& r)
{
    const QRectF box(r.x, r.y, r.width, r.height);
    p_.moveTo(r.maxX(), r.midY());
    p_.arcTo(box, 0, -360);
    p_.closeSubpath();
}

void Path::addRect(const Rect& r)
{
    p_.moveTo(r.x, r.y);
    p_.lineTo(r.maxX(), r.y);
    p_.lineTo(r.maxX(), r.maxY());
    p_.lineTo(r.x, r.maxY());
    p_.closeSubpath();
}

void Path::addRoundedRect(const Rect& r, double radius, bool continuous)
{
    if (r.width <= 0 || r.height <= 0)
        return;
    const double half = std::min(r.width, r.height) / 2;
    radius = std::clamp(radius, 0.0, half);
    if (radius <= 0) {
        addRect(r);
        return;
    }
    // When the eased corner would not fit, the circular corner is the closer shape.
    if (!continuous || radius * 1.528 > half) {
        p_.addRoundedRect(QRectF(r.x, r.y, r.width, r.height), radius, radius);
        return;
    }
    // A continuous corner starts its bend earlier than a circular one (about
    // 1.53 radii from the corner) and eases into it, so the curvature has no
    // step where edge and corner meet.
    const double extent = std::min(radius * 1.528, half);
    const double t = 0.82;  // control-point position along the edge, as a fraction of `extent`
    const double c = extent * (1 - t);
    const double x0 = r.x, y0 = r.y, x1 = r.maxX(), y1 = r.maxY();
    p_.moveTo(x0 + extent, y0);
    p_.lineTo(x1 - extent, y0);
    p_.cubicTo(x1 - c, y0, x1, y0 + c, x1, y0 + extent);
    p_.lineTo(x1, y1 - extent);
    p_.cubicTo(x1, y1 - c, x1 - c, y1, x1 - extent, y1);
    p_.lineTo(x0 + extent, y1);
    p_.cubicTo(x0 + c, y1, x0, y1 - c, x0, y1 - extent);
    p_.lineTo(x0, y0 + extent);
    p_.cubicTo(x0, y0 + c, x0 + c, y0, x0 + extent, y0);
    p_.closeSubpath();
}

void Path::addPath(const Path& other, const AffineTransform& t)
{
    p_.addPath(t.isIdentity() ? other.p_ : t.qt().map(other.p_));
}

void Path::closeSubpath() { p_.closeSubpath(); }

Path Path::applying(const AffineTransform& t) const { return Path(t.qt().map(p_)); }
Path Path::offsetBy(double dx, double dy) const { return Path(p_.translated(dx, dy)); }

Rect Path::boundingRect() const
{
    const QRectF r = p_.boundingRect();
    return {r.x(), r.y(), r.width(), r.height()};
}

bool Path::contains(Point p, FillRule rule) const
{
    QPainterPath copy = p_;
    copy.setFillRule(rule == FillRule::evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    return copy.contains(QPointF(p.x, p.y));
}

namespace {

// The outline as line and cubic segments, so it can be measured and cut.
struct Segment {
    QPointF p0, p1, p2, p3;
    bool cubic = false;
    bool startsSubpath = false;
    bool closing = false;
    double length = 0;
};

double cubicLength(const QPointF& a, const QPointF& b, const QPointF& c, const QPointF& d)
{
    constexpr int steps = 16;
    double len = 0;
    QPointF prev = a;
    for (int i = 1; i <= steps; ++i) {
        const double t = double(i) / steps, u = 1 - t;
        const QPointF p = u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d;
        len += std::hypot(p.x() - prev.x(), p.y() - prev.y());
        prev = p;
    }
    return len;
}

std::vector<Segment> segmentsOf(const QPainterPath& path)
{
    std::vector<Segment> out;
    QPointF current, subpathStart;
    bool pendingStart = true;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            // A moveTo back onto the start after a closing line is how Qt closes.
            current = subpathStart = QPointF(e.x, e.y);
            pendingStart = true;
        } else if (e.isLineTo()) {
            Segment s;
            s.p0 = current;
            s.p3 = QPointF(e.x, e.y);
            s.length = std::hypot(s.p3.x() - s.p0.x(), s.p3.y() - s.p0.y());
            s.startsSubpath = pendingStart;
            pendingStart = false;
            out.push_back(s);
            current = s.p3;
        } else if (e.isCurveTo()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            Segment s;
            s.cubic = true;
            s.p0 = current;
            s.p1 = QPointF(e.x, e.y);
            s.p2 = QPointF(c2.x, c2.y);
            s.p3 = QPointF(end.x, end.y);
            s.length = cubicLength(s.p0, s.p1, s.p2, s.p3);
            s.startsSubpath = pendingStart;
            pendingStart = false;
            out.push_back(s);
            current = s.p3;
            i += 2;
        }
    }
    (void)subpathStart;
    return out;
}

// de Casteljau: the part of a cubic between parameters t0 and t1.
void cutCubic(const Segment& s, double t0, double t1, QPointF out[4])
{
    auto split = [](const QPointF p[4], double t, QPointF left[4], QPointF right[4]) {
        const QPointF a = p[0] + (p[1] - p[0]) * t, b = p[1] + (p[2] - p[1]) * t, c = p[2] + (p[3] - p[2]) * t;
        const QPointF d = a + (b - a) * t, e = b + (c - b) * t;
        const QPointF f = d + (e - d) * t;
        left[0] = p[0]; left[1] = a; left[2] = d; left[3] = f;
        right[0] = f; right[1] = e; right[2] = c; right[3] = p[3];
    };
    QPointF p[4] = {s.p0, s.p1, s.p2, s.p3};
    QPointF left[4], right[4];
    split(p, t1, left, right);
    if (t1 <= 0) {
        for (int i = 0; i < 4; ++i) out[i] = s.p0;
        return;
    }
    QPointF l2[4], r2[4];
    split(left, t0 / t1, l2, r2);
    for (int i = 0; i < 4; ++i) out[i] = r2[i];
}

// Parameter at which a cubic reaches a given fraction of its length.
double cubicParamAt(const Segment& s, double fraction)
{
    if (fraction <= 0) return 0;
    if (fraction >= 1) return 1;
    constexpr int steps = 64;
    const double target = fraction * s.length;
    double len = 0;
    QPointF prev = s.p0;
    for (int i = 1; i <= steps; ++i) {
        const double t = double(i) / steps, u = 1 - t;
        const QPointF p = u * u * u * s.p0 + 3 * u * u * t * s.p1 + 3 * u * t * t * s.p2 + t * t * t * s.p3;
        const double d = std::hypot(p.x() - prev.x(), p.y() - prev.y());
        if (len + d >= target && d > 0)
            return (i - 1 + (target - len) / d) / steps;
        len += d;
        prev = p;
    }
    return 1;
}

}  // namespace

double Path::length() const
{
    double total = 0;
    for (const auto& s : segmentsOf(p_)) total += s.length;
    return total;
}

Path Path::trimmed(double from, double to) const
{
    if (!std::isfinite(from)) from = from > 0 ? 1 : 0;
    if (!std::isfinite(to)) to = to > 0 ? 1 : 0;
    from = std::clamp(from, 0.0, 1.0);
    to = std::clamp(to, 0.0, 1.0);
    if (to <= from)
        return Path();
    const auto segs = segmentsOf(p_);
    double total = 0;
    for (const auto& s : segs) total += s.length;
    if (total <= 0)
        return Path();
    if (from <= 0 && to >= 1)
        return *this;
    const double a = from * total, b = to * total;
    QPainterPath out;
    double pos = 0;
    bool open = false;
    for (const auto& s : segs) {
        const double s0 = pos, s1 = pos + s.length;
        pos = s1;
        if (s.startsSubpath)
            open = false;
        if (s1 <= a || s0 >= b || s.length <= 0)
            continue;
        const double f0 = std::max(0.0, (a - s0) / s.length);
        const double f1 = std::min(1.0, (b - s0) / s.length);
        if (s.cubic) {
            QPointF c[4];
            cutCubic(s, cubicParamAt(s, f0), cubicParamAt(s, f1), c);
            if (!open) out.moveTo(c[0]);
            out.cubicTo(c[1], c[2], c[3]);
        } else {
            const QPointF p0 = s.p0 + (s.p3 - s.p0) * f0, p1 = s.p0 + (s.p3 - s.p0) * f1;
            if (!open) out.moveTo(p0);
            out.lineTo(p1);
        }
        open = true;
    }
    return Path(out);
}

}  // namespace platform::ui
