#include "ui/Shape.h"

#include "ui/Painting.h"

#include <QPainter>

namespace platform::ui {

Shape Shape::trim(double from, double to) const
{
    auto f = f_;
    return Shape([f, from, to](const Rect& r) { return f ? f(r).trimmed(from, to) : Path(); });
}

Shape Shape::inset(double amount) const
{
    auto f = f_;
    return Shape([f, amount](const Rect& r) {
        const Rect in = r.insetBy(amount, amount);
        if (!f || in.width < 0 || in.height < 0)
            return Path();
        return f(in);
    });
}

namespace {

// A shape drawn as a view: it takes whatever size it is offered.
class ShapeNode final : public Node {
public:
    enum class Mode { fill, stroke };
    ShapeNode(Shape shape, std::optional<ShapeStyle> style, Mode mode, StrokeStyle stroke)
        : shape_(std::move(shape)), style_(std::move(style)), mode_(mode), stroke_(std::move(stroke)) {}

    Size sizeThatFits(Element&, ProposedSize p, LayoutContext&) const override
    {
        // A shape takes what it is offered (infinity included, so stacks see
        // it as fully flexible); no offer means a nominal ideal size.
        return p.replacingUnspecified({10, 10});
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        if (self.frame.width <= 0 && self.frame.height <= 0)
            return;
        if (!isVisible(pc, self.frame, mode_ == Mode::stroke ? stroke_.lineWidth : 0))
            return;
        const Path path = shape_.path(self.frame);
        if (path.isEmpty())
            return;
        const ShapeStyle style = style_ ? *style_ : self.env->foregroundStyle;
        if (mode_ == Mode::fill)
            fillPath(*pc.painter, path, style, *self.env, self.frame);
        else
            strokePath(*pc.painter, path, style, stroke_, *self.env, self.frame);
    }

    Rect inkBounds(const Element& self, const std::optional<Rect>&) const override
    {
        // A stroke is centred on the outline; miters reach further.
        const double m = mode_ == Mode::stroke ? stroke_.lineWidth * std::max(2.0, stroke_.miterLimit / 2) : 1;
        return self.frame.insetBy(-m, -m);
    }

    const Shape& shape() const { return shape_; }
    // A fill takes hits inside its outline; a stroke only on the line it
    // draws, so a border laid over controls never takes their clicks.
    bool contains(const Rect& frame, Point p) const
    {
        const Path path = shape_.path(frame);
        if (mode_ == Mode::fill) return path.contains(p);
        QPainterPathStroker stroker;
        stroker.setWidth(std::max(1.0, stroke_.lineWidth));
        return stroker.createStroke(path.qt()).contains(QPointF(p.x, p.y));
    }
    bool fillsClear() const
    {
        if (!style_) return false;
        const auto* c = std::get_if<Color>(&style_->value());
        return c && c->resolve(ColorScheme::light).alpha == 0 && c->resolve(ColorScheme::dark).alpha == 0;
    }

private:
    Shape shape_;
    std::optional<ShapeStyle> style_;
    Mode mode_;
    StrokeStyle stroke_;
};

}  // namespace

View Shape::fill(ShapeStyle style) const
{
    return View(detail::makeNode<ShapeNode>(*this, std::move(style), ShapeNode::Mode::fill, StrokeStyle{}));
}

View Shape::fill() const
{
    return View(detail::makeNode<ShapeNode>(*this, std::nullopt, ShapeNode::Mode::fill, StrokeStyle{}));
}

View Shape::stroke(ShapeStyle style, StrokeStyle stroke) const
{
    return View(detail::makeNode<ShapeNode>(*this, std::move(style), ShapeNode::Mode::stroke, std::move(stroke)));
}

View Shape::stroke(ShapeStyle style, double lineWidth) const
{
    StrokeStyle s;
    s.lineWidth = lineWidth;
    return stroke(std::move(style), s);
}

View Shape::strokeBorder(ShapeStyle style, StrokeStyle s) const
{
    return inset(s.lineWidth / 2).stroke(std::move(style), std::move(s));
}

View Shape::strokeBorder(ShapeStyle style, double lineWidth) const
{
    StrokeStyle s;
    s.lineWidth = lineWidth;
    return strokeBorder(std::move(style), s);
}

Shape Shape::rectangle()
{
    Shape s([](const Rect& r) { return Path::rect(r); });
    s.rectangle_ = true;
    return s;
}

Shape Rectangle() { return Shape::rectangle(); }

Shape RoundedRectangle(double cornerRadius, RoundedCornerStyle style)
{
    return Shape([cornerRadius, style](const Rect& r) {
        return Path::roundedRect(r, cornerRadius, style == RoundedCornerStyle::continuous);
    });
}

Shape UnevenRoundedRectangle(RectangleCornerRadii radii)
{
    return Shape([radii](const Rect& r) {
        const double limit = std::max(0.0, std::min(r.width, r.height) / 2);
        auto clampR = [limit](double v) { return std::clamp(v, 0.0, limit); };
        const double tl = clampR(radii.topLeading), bl = clampR(radii.bottomLeading);
        const double br = clampR(radii.bottomTrailing), tr = clampR(radii.topTrailing);
        // Quarter circles drawn as cubic curves (kappa), clockwise from the top edge.
        constexpr double k = 0.5522847498;
        Path p;
        p.move({r.x + tl, r.y});
        p.addLine({r.maxX() - tr, r.y});
        if (tr > 0) p.addCurve({r.maxX(), r.y + tr}, {r.maxX() - tr + tr * k, r.y}, {r.maxX(), r.y + tr - tr * k});
        p.addLine({r.maxX(), r.maxY() - br});
        if (br > 0) p.addCurve({r.maxX() - br, r.maxY()}, {r.maxX(), r.maxY() - br + br * k}, {r.maxX() - br + br * k, r.maxY()});
        p.addLine({r.x + bl, r.maxY()});
        if (bl > 0) p.addCurve({r.x, r.maxY() - bl}, {r.x + bl - bl * k, r.maxY()}, {r.x, r.maxY() - bl + bl * k});
        p.addLine({r.x, r.y + tl});
        if (tl > 0) p.addCurve({r.x + tl, r.y}, {r.x, r.y + tl - tl * k}, {r.x + tl - tl * k, r.y});
        p.closeSubpath();
        return p;
    });
}

Shape Capsule(RoundedCornerStyle style)
{
    return Shape([style](const Rect& r) {
        return Path::roundedRect(r, std::min(r.width, r.height) / 2, style == RoundedCornerStyle::continuous);
    });
}

Shape Circle()
{
    return Shape([](const Rect& r) {
        const double d = std::max(0.0, std::min(r.width, r.height));
        return Path::ellipse({r.midX() - d / 2, r.midY() - d / 2, d, d});
    });
}

Shape Ellipse()
{
    return Shape([](const Rect& r) { return Path::ellipse(r); });
}

Shape PathShape(std::function<Path(const Rect&)> f) { return Shape(std::move(f)); }

bool isClearFilledShape(const Node* node)
{
    auto* s = dynamic_cast<const ShapeNode*>(node);
    return s && s->fillsClear();
}

bool shapeNodeContains(const Node* node, const Rect& frame, Point p)
{
    auto* s = dynamic_cast<const ShapeNode*>(node);
    return s && s->contains(frame, p);
}

const Shape* shapeOfNode(const Node* node)
{
    auto* s = dynamic_cast<const ShapeNode*>(node);
    return s ? &s->shape() : nullptr;
}

}  // namespace platform::ui

namespace platform::ui {

View::View(const Color& color) : View(Rectangle().fill(color)) {}
View::View(const Shape& shape) : View(shape.fill()) {}

}  // namespace platform::ui
