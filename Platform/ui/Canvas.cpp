#include "ui/Canvas.h"

#include "ui/Image.h"
#include "ui/Painting.h"
#include "ui/Text.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace platform::ui {

Shading Shading::linearGradient(Gradient g, Point start, Point end)
{
    Shading s(Color::clear());
    s.kind_ = Kind::linear;
    s.gradient_ = std::move(g);
    s.a_ = start;
    s.b_ = end;
    return s;
}

Shading Shading::radialGradient(Gradient g, Point center, double startRadius, double endRadius)
{
    Shading s(Color::clear());
    s.kind_ = Kind::radial;
    s.gradient_ = std::move(g);
    s.a_ = center;
    s.r0_ = startRadius;
    s.r1_ = endRadius;
    return s;
}

Shading Shading::conicGradient(Gradient g, Point center, Angle angle)
{
    Shading s(Color::clear());
    s.kind_ = Kind::conic;
    s.gradient_ = std::move(g);
    s.a_ = center;
    s.angle_ = angle;
    return s;
}

Shading Shading::style(ShapeStyle st, Rect bounds)
{
    Shading s(Color::clear());
    s.kind_ = Kind::style;
    s.style_ = std::move(st);
    s.bounds_ = bounds;
    return s;
}

QBrush Shading::brush(const EnvironmentValues& env) const
{
    switch (kind_) {
    case Kind::color: return QBrush(toQColor(color_, env));
    case Kind::style: return toBrush(*style_, env, bounds_);
    case Kind::linear: {
        // Expressed as a gradient over a unit box so the shared stop code applies.
        LinearGradient lg{gradient_, UnitPoint{a_.x, a_.y}, UnitPoint{b_.x, b_.y}};
        return toBrush(lg, env, Rect{0, 0, 1, 1});
    }
    case Kind::radial: {
        RadialGradient rg{gradient_, UnitPoint{a_.x, a_.y}, r0_, r1_};
        return toBrush(rg, env, Rect{0, 0, 1, 1});
    }
    case Kind::conic: {
        AngularGradient ag{gradient_, UnitPoint{a_.x, a_.y}, angle_};
        return toBrush(ag, env, Rect{0, 0, 1, 1});
    }
    }
    return {};
}

GraphicsContext::GraphicsContext(QPainter& painter, EnvironmentPtr env, double displayScale)
    : painter_(&painter), env_(std::move(env)), displayScale_(displayScale), base_(painter.transform()),
      baseOpacity_(painter.opacity())
{
}

void GraphicsContext::apply(QPainter& p) const
{
    p.setTransform(transform_ * base_);
    p.setOpacity(baseOpacity_ * std::clamp(opacity, 0.0, 1.0));
    if (clip_) {
        p.setTransform(base_);
        p.setClipPath(*clip_, p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
        p.setTransform(transform_ * base_);
    }
}

void GraphicsContext::fill(const Path& path, const Shading& shading, FillRule rule) const
{
    QPainter& p = *painter_;
    p.save();
    apply(p);
    QPainterPath qp = path.qt();
    qp.setFillRule(rule == FillRule::evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    p.fillPath(qp, shading.brush(*env_));
    p.restore();
}

void GraphicsContext::stroke(const Path& path, const Shading& shading, const StrokeStyle& style) const
{
    if (style.lineWidth <= 0)
        return;
    QPainter& p = *painter_;
    p.save();
    apply(p);
    p.strokePath(path.qt(), toPen(style, shading.brush(*env_)));
    p.restore();
}

void GraphicsContext::stroke(const Path& path, const Shading& shading, double lineWidth) const
{
    StrokeStyle s;
    s.lineWidth = lineWidth;
    stroke(path, shading, s);
}

void GraphicsContext::translateBy(double x, double y) { transform_ = QTransform::fromTranslate(x, y) * transform_; }
void GraphicsContext::scaleBy(double x, double y) { transform_ = QTransform::fromScale(x, y) * transform_; }
void GraphicsContext::rotate(Angle angle)
{
    QTransform r;
    r.rotateRadians(angle.radians);
    transform_ = r * transform_;
}
void GraphicsContext::concatenate(const AffineTransform& t) { transform_ = t.qt() * transform_; }

void GraphicsContext::clip(const Path& path)
{
    const QPainterPath mapped = transform_.map(path.qt());
    clip_ = clip_ ? clip_->intersected(mapped) : mapped;
}

void GraphicsContext::drawLayer(const std::function<void(GraphicsContext&)>& draw) const
{
    if (!draw)
        return;
    QPaintDevice* dev = painter_->device();
    if (!dev)
        return;
    // The layer covers the whole target; its painter starts where ours is.
    const double dpr = dev->devicePixelRatioF();
    QImage image(int(dev->width() * dpr), int(dev->height() * dpr), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    {
        QPainter lp(&image);
        lp.setRenderHint(QPainter::Antialiasing);
        lp.setRenderHint(QPainter::SmoothPixmapTransform);
        lp.setTransform(base_);
        GraphicsContext inner(lp, env_, displayScale_);
        inner.transform_ = transform_;
        inner.clip_ = clip_;
        draw(inner);
    }
    QPainter& p = *painter_;
    p.save();
    p.resetTransform();
    p.setOpacity(baseOpacity_ * std::clamp(opacity, 0.0, 1.0));
    p.drawImage(0, 0, image);
    p.restore();
}

namespace {

bool sameMapping(const QTransform& a, const QTransform& b)
{
    // A thousandth of a device pixel at a canvas's far corner is no visible move.
    constexpr double e = 1e-6;
    return std::abs(a.m11() - b.m11()) < e && std::abs(a.m22() - b.m22()) < e && std::abs(a.m12() - b.m12()) < e &&
           std::abs(a.m21() - b.m21()) < e && std::abs(a.dx() - b.dx()) < 1e-3 && std::abs(a.dy() - b.dy()) < 1e-3;
}

bool isOpaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

}  // namespace

// Draws through `cache` what `paint` draws within `bounds` (in the painter's
// coordinates): once into device pixels, then copied while the key, the size,
// the scale and the sub-pixel placement stay the same. `paint` gets a painter
// whose transform maps those coordinates to the image's pixels; `composite`
// prepares the painter for laying the pixels down. False, with nothing
// drawn, when the transform skews or the area is out of reach.
// `displayScale` is the drawing's own scale: device pixels per point with no
// scale effect above it.
bool paintCached(QPainter& p, CanvasCache& cache, const std::string& key, Rect bounds, double displayScale,
                 const std::function<void(QPainter&)>& paint, const std::function<void(QPainter&)>& composite)
{
    // Points to device pixels, whatever the device's pixel ratio. Not the
    // painter's device transform: on a widget below others in its window (the
    // content below the menu bar) that also holds the widget's place in the
    // window, which Qt adds again when the pixels are laid down.
    const QPaintDevice* target = p.device();
    const double dpr = target ? target->devicePixelRatioF() : 1.0;
    const QTransform device = p.transform() * QTransform::fromScale(dpr, dpr);
    const QRectF area = device.mapRect(QRectF(bounds.x, bounds.y, bounds.width, bounds.height));
    constexpr double limit = 1 << 14;  // pixels a side; beyond that a cache costs more than it saves
    // Turned, the pixels are kept unturned at the drawing's own scale.
    const bool turned = device.type() == QTransform::TxRotate;
    if (device.type() > QTransform::TxRotate || (turned && !(displayScale > 0)) || !area.isValid() ||
        area.width() > limit || area.height() > limit || !(std::abs(area.x()) < 1e9) || !(std::abs(area.y()) < 1e9))
        return false;
    const int x0 = int(std::floor(area.left())), y0 = int(std::floor(area.top()));
    const QSize pixels(int(std::ceil(area.right())) - x0, int(std::ceil(area.bottom())) - y0);
    if (pixels.isEmpty())
        return true;
    // Where the drawing lands within the image: the same for any whole-pixel move.
    const QTransform toImage = device * QTransform::fromTranslate(-x0, -y0);
    const auto render = [&](QSize size, const QTransform& mapping) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter lp(&image);
            lp.setRenderHints(p.renderHints());
            lp.setFont(p.font());
            lp.setTransform(mapping);
            // No clip of its own: an antialiased clip would thin the edges.
            paint(lp);
        }
        // Opaque pixels are copied rather than blended.
        if (isOpaque(image))
            image.reinterpretAsFormat(QImage::Format_RGB32);
        cache.parts_ = inkedParts(image);
        cache.image_ = std::move(image);
        cache.key_ = key;
        cache.bounds_ = bounds;
        cache.device_ = mapping;
        ++cache.renders_;
    };
    const auto near = [](double a, double b) { return std::abs(a - b) < 1e-6; };
    const bool firstSeen = cache.seenScaleX_ == 0;
    const bool scaling = !near(device.m11(), cache.seenScaleX_) || !near(device.m22(), cache.seenScaleY_);
    cache.seenScaleX_ = device.m11();
    cache.seenScaleY_ = device.m22();
    const bool kept = !cache.image_.isNull() && cache.key_ == key && cache.image_.size() == pixels &&
                      sameMapping(cache.device_, toImage);
    const bool ownScale = near(device.m11(), displayScale) && near(device.m22(), displayScale);

    if (turned || (!kept && scaling && !firstSeen && !ownScale && displayScale > 0)) {
        // Under a scale that moves (a drawing growing in) or a rotation, the
        // pixels made at the drawing's own scale are resampled: drawing afresh
        // on every frame would cost as much as not keeping them. Crisp pixels
        // come back when the scale holds unturned or reaches the drawing's own.
        const bool usable = !cache.image_.isNull() && cache.key_ == key && cache.bounds_ == bounds &&
                            near(cache.device_.m11(), displayScale) && near(cache.device_.m22(), displayScale);
        if (!usable) {
            const QTransform own = QTransform::fromScale(displayScale, displayScale);
            const QRectF ownArea = own.mapRect(QRectF(bounds.x, bounds.y, bounds.width, bounds.height));
            const int ox = int(std::floor(ownArea.left())), oy = int(std::floor(ownArea.top()));
            const QSize ownPixels(int(std::ceil(ownArea.right())) - ox, int(std::ceil(ownArea.bottom())) - oy);
            if (ownPixels.isEmpty() || ownPixels.width() > limit || ownPixels.height() > limit)
                return false;
            render(ownPixels, own * QTransform::fromTranslate(-ox, -oy));
        }
        p.save();
        composite(p);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setTransform(cache.device_.inverted() * p.transform());
        p.drawImage(QPointF(0, 0), cache.image_);
        p.restore();
        return true;
    }

    if (!kept)
        render(pixels, toImage);
    p.save();
    composite(p);
    // The image is already in device pixels: place it without resampling.
    drawImagePixels(p, QPointF(x0, y0), cache.image_, cache.parts_);
    p.restore();
    return true;
}

void GraphicsContext::drawCached(CanvasCache& cache, const std::string& key, Rect bounds,
                                 const std::function<void(GraphicsContext&)>& draw) const
{
    if (!draw || !(bounds.width > 0) || !(bounds.height > 0))
        return;
    QPainter& p = *painter_;
    p.save();
    p.setTransform(transform_ * base_);
    const bool drawn = paintCached(
        p, cache, key, bounds, displayScale_,
        [&](QPainter& lp) {
            // Canvas points straight to the image's pixels.
            GraphicsContext inner(lp, env_, displayScale_);
            draw(inner);
        },
        [&](QPainter& target) { apply(target); });
    p.restore();
    if (!drawn) {
        GraphicsContext direct = *this;
        draw(direct);
    }
}

QTransform GraphicsContext::deviceTransform(double density) const
{
    const QPaintDevice* target = painter_->device();
    const double dpr = target ? target->devicePixelRatioF() : 1.0;
    QTransform device = transform_ * base_ * QTransform::fromScale(dpr, dpr);
    const double own = std::sqrt(std::abs(device.determinant()));
    if (density > 0 && density < own)
        device *= QTransform::fromScale(density / own, density / own);
    return device;
}

GraphicsContext::Pixels GraphicsContext::pixels(Rect bounds, const std::function<void(GraphicsContext&)>& draw, double x,
                                                double y, double margin, double density) const
{
    if (!draw || !(bounds.width > 0) || !(bounds.height > 0))
        return {};
    const QTransform device = deviceTransform(density);
    // Moved before it meets the device, so the pixels lie whole on the target's.
    const QTransform moved = QTransform::fromTranslate(x, y) * device;
    const QRectF area = moved.mapRect(QRectF(bounds.x, bounds.y, bounds.width, bounds.height));
    constexpr double limit = 1 << 13;
    if (!area.isValid() || !(area.width() < limit) || !(area.height() < limit) || !(std::abs(area.x()) < 1e9) ||
        !(std::abs(area.y()) < 1e9))
        return {};
    const double reach = std::ceil(std::max(0.0, margin) * std::sqrt(std::abs(device.determinant())));
    const QRect pixels = area.adjusted(-reach, -reach, reach, reach).toAlignedRect();
    QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter lp(&image);
        lp.setRenderHints(painter_->renderHints());
        lp.setTransform(moved * QTransform::fromTranslate(-pixels.x(), -pixels.y()));
        GraphicsContext inner(lp, env_, displayScale_);
        draw(inner);
    }
    return {std::move(image), pixels.topLeft(), device};
}

GraphicsContext::Pixels GraphicsContext::shadowPixels(const Pixels& coverage, const Color& color, double radius) const
{
    if (coverage.image.isNull())
        return {};
    const double blur = std::max(0.0, radius) * std::sqrt(std::abs(coverage.device.determinant()));
    return {blurredShadow(coverage.image, blur, toQColor(color, *env_)), coverage.origin, coverage.device};
}

bool GraphicsContext::place(Pixels& pixels, double density) const
{
    const QTransform here = deviceTransform(density);
    const auto near = [](double a, double b, double e) { return std::abs(a - b) < e; };
    const QTransform& there = pixels.device;
    if (!near(here.m11(), there.m11(), 1e-9) || !near(here.m12(), there.m12(), 1e-9) ||
        !near(here.m21(), there.m21(), 1e-9) || !near(here.m22(), there.m22(), 1e-9))
        return false;
    const double dx = here.dx() - there.dx(), dy = here.dy() - there.dy();
    if (!near(dx, std::round(dx), 1e-6) || !near(dy, std::round(dy), 1e-6))
        return false;
    pixels.origin += QPoint(int(std::round(dx)), int(std::round(dy)));
    pixels.device = here;
    return true;
}

void GraphicsContext::drawPixels(const Pixels& pixels) const
{
    if (pixels.image.isNull())
        return;
    QPainter& p = *painter_;
    p.save();
    apply(p);
    Pixels placed = pixels;
    if (place(placed)) {
        drawImagePixels(p, QPointF(placed.origin), placed.image);
    } else {
        // Image pixels to the coordinates they were made in, then on as this context draws.
        const QPaintDevice* target = p.device();
        const double dpr = target ? target->devicePixelRatioF() : 1.0;
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setTransform(QTransform::fromTranslate(pixels.origin.x(), pixels.origin.y()) * pixels.device.inverted() *
                       deviceTransform() * QTransform::fromScale(1 / dpr, 1 / dpr));
        p.drawImage(QPointF(0, 0), pixels.image);
    }
    p.restore();
}

void GraphicsContext::draw(const Image& image, Rect rect, const Shading& shading) const
{
    QPainter& p = *painter_;
    p.save();
    apply(p);
    paintImage(p, image, rect, shading.brush(*env_), *env_);
    p.restore();
}

void GraphicsContext::draw(const std::string& text, const Font& font, const Shading& shading, Point at, UnitPoint anchor) const
{
    const ResolvedFont& f = resolveFont(font);
    const QString s = QString::fromStdString(text);
    const double w = f.advance(s), h = f.lineHeight;
    QPainter& p = *painter_;
    p.save();
    apply(p);
    p.translate(at.x - anchor.x * w, at.y - anchor.y * h + f.ascent);
    p.scale(f.scale, f.scale);
    p.setFont(f.font);
    p.setPen(QPen(shading.brush(*env_), 0));
    p.drawText(QPointF(0, 0), s);
    p.restore();
}

namespace {

class CanvasNode final : public Node {
public:
    explicit CanvasNode(std::function<void(GraphicsContext&, Size)> r) : renderer_(std::move(r)) {}

    Size sizeThatFits(Element&, ProposedSize p, LayoutContext&) const override
    {
        return p.replacingUnspecified({10, 10});
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        if (!renderer_ || self.frame.width <= 0 || self.frame.height <= 0 || !isVisible(pc, self.frame))
            return;
        QPainter& p = *pc.painter;
        p.save();
        p.translate(self.frame.x, self.frame.y);
        {
            GraphicsContext ctx(p, self.env, pc.displayScale);
            renderer_(ctx, self.frame.size());
        }
        p.restore();
    }

    // A renderer may draw anywhere.
    Rect inkBounds(const Element&, const std::optional<Rect>&) const override { return {-infinity / 2, -infinity / 2, infinity, infinity}; }

private:
    std::function<void(GraphicsContext&, Size)> renderer_;
};

class CachedDrawingNode final : public ModifierNode {
public:
    CachedDrawingNode(View content, CanvasCache& cache, std::string key)
        : ModifierNode(std::move(content)), cache_(&cache), key_(std::move(key))
    {
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        // Content that may draw anywhere (a canvas) is kept to its frame.
        const Rect bounds = std::isfinite(self.ink.width) && std::isfinite(self.ink.height) ? self.ink : self.frame;
        if (!isVisible(pc, bounds))
            return;
        QPainter& p = *pc.painter;
        // Drawn from the frame's corner, so a whole-pixel move keeps the pixels.
        const Rect& f = self.frame;
        const Rect ink{bounds.x - f.x, bounds.y - f.y, bounds.width, bounds.height};
        p.save();
        p.translate(f.x, f.y);
        const bool drawn = paintCached(
            p, *cache_, key_, ink, pc.displayScale,
            [&](QPainter& lp) {
                lp.translate(-f.x, -f.y);
                PaintContext inner{&lp, pc.displayScale};
                Node::paint(self, inner);
            },
            [](QPainter&) {});
        p.restore();
        if (!drawn)
            Node::paint(self, pc);
    }

private:
    CanvasCache* cache_;
    std::string key_;
};

}  // namespace

View CachedDrawing(View content, CanvasCache& cache, std::string key)
{
    return View(detail::makeNode<CachedDrawingNode>(std::move(content), cache, std::move(key)));
}

View Canvas(std::function<void(GraphicsContext&, Size)> renderer)
{
    return View(detail::makeNode<CanvasNode>(std::move(renderer)));
}

}  // namespace platform::ui
