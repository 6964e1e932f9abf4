// Render effects (transforms, opacity, clipping, shadows) and the
// interaction and accessibility modifiers, which only mark the tree.

#include "ui/Button.h"
#include "ui/Modifiers.h"
#include "ui/ViewHost.h"
#include "ui/Painting.h"

#include <QHash>
#include <QPainter>
#include <cstring>
#include <list>
#include <unordered_map>

namespace platform::ui {

bool TransformNode::transform(const Element& self, QTransform& out) const
{
    const Point anchor = anchor_.in(self.frame);
    QTransform t;
    switch (kind_) {
    case Kind::offset:
        t.translate(a_, b_);
        break;
    case Kind::scale:
        t.translate(anchor.x, anchor.y);
        t.scale(a_, b_);
        t.translate(-anchor.x, -anchor.y);
        break;
    case Kind::rotation:
        // Positive angles turn clockwise on screen.
        t.translate(anchor.x, anchor.y);
        t.rotateRadians(a_);
        t.translate(-anchor.x, -anchor.y);
        break;
    }
    out = t;
    return true;
}

void TransformNode::paint(const Element& self, PaintContext& pc) const
{
    QTransform t;
    transform(self, t);
    if (!t.isInvertible())
        return;  // a zero scale draws nothing
    pc.painter->save();
    pc.painter->setTransform(t, true);
    Node::paint(self, pc);
    pc.painter->restore();
}

void OpacityNode::paint(const Element& self, PaintContext& pc) const
{
    const double o = std::clamp(opacity_, 0.0, 1.0);
    if (o <= 0)
        return;
    pc.painter->save();
    pc.painter->setOpacity(pc.painter->opacity() * o);
    Node::paint(self, pc);
    pc.painter->restore();
}

namespace {

// A shape's coverage over a layer, with the part of each row where it is
// whole, so masking touches only the edges.
struct ClipMask {
    QImage coverage;
    std::vector<std::pair<int, int>> whole;  // per row: [from, to) fully covered
};

// The masks of the last few clips: a clip that stays where it is (a card's
// rounded corners) keeps its mask instead of filling its shape every frame.
const ClipMask& clipMask(const QPainterPath& path, const QTransform& toLayer, const QImage& layer)
{
    struct Kept {
        std::vector<double> outline;
        ClipMask mask;
    };
    thread_local std::list<Kept> kept;
    const QPainterPath placed = toLayer.map(path);
    std::vector<double> outline{double(layer.width()), double(layer.height()), layer.devicePixelRatio(),
                                double(placed.fillRule())};
    for (int i = 0; i < placed.elementCount(); ++i) {
        const QPainterPath::Element e = placed.elementAt(i);
        outline.insert(outline.end(), {double(e.type), e.x, e.y});
    }
    for (auto it = kept.begin(); it != kept.end(); ++it)
        if (it->outline == outline) {
            kept.splice(kept.begin(), kept, it);
            return kept.front().mask;
        }
    QImage coverage(layer.size(), QImage::Format_ARGB32_Premultiplied);
    coverage.setDevicePixelRatio(layer.devicePixelRatio());
    coverage.fill(Qt::transparent);
    {
        QPainter mp(&coverage);
        mp.setRenderHint(QPainter::Antialiasing);
        mp.setTransform(toLayer);
        mp.fillPath(path, Qt::black);
    }
    std::vector<std::pair<int, int>> whole(size_t(coverage.height()), {0, 0});
    for (int y = 0; y < coverage.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        int a = 0;
        while (a < coverage.width() && qAlpha(line[a]) != 255) ++a;
        int b = a;
        while (b < coverage.width() && qAlpha(line[b]) == 255) ++b;
        whole[size_t(y)] = {a, b};
    }
    kept.push_front({std::move(outline), {std::move(coverage), std::move(whole)}});
    // A few window-sized masks at most.
    qsizetype bytes = 0;
    int count = 0;
    for (auto it = kept.begin(); it != kept.end();) {
        bytes += it->mask.coverage.sizeInBytes();
        const bool over = ++count > 16 || bytes > (32 << 20);
        it = over && count > 1 ? kept.erase(it) : std::next(it);
    }
    return kept.front().mask;
}

// What drawing the mask over the layer with DestinationIn gives: every
// channel scaled by the coverage, as Qt scales it.
void applyClipMask(QImage& layer, const ClipMask& mask)
{
    const auto scaled = [](QRgb p, uint m) {
        uint rb = (p & 0xff00ff) * m;
        rb = ((rb + ((rb >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
        uint ag = ((p >> 8) & 0xff00ff) * m;
        ag = (ag + ((ag >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
        return rb | ag;
    };
    for (int y = 0; y < layer.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(layer.scanLine(y));
        const auto* cover = reinterpret_cast<const QRgb*>(mask.coverage.constScanLine(y));
        const auto [from, to] = mask.whole[size_t(y)];
        for (int x = 0; x < layer.width(); ++x) {
            if (x == from && to > from) {
                x = to - 1;
                continue;
            }
            if (line[x]) line[x] = scaled(line[x], qAlpha(cover[x]));
        }
    }
}

}  // namespace

Rect ClipNode::inkBounds(const Element& self, const std::optional<Rect>& children) const
{
    const Rect edge = self.frame.insetBy(-1, -1);
    if (!children || std::isinf(children->width)) return edge;
    const double x = std::max(edge.x, children->x), y = std::max(edge.y, children->y);
    const double maxX = std::min(edge.maxX(), children->maxX()), maxY = std::min(edge.maxY(), children->maxY());
    return {x, y, std::max(0.0, maxX - x), std::max(0.0, maxY - y)};
}

void ClipNode::paint(const Element& self, PaintContext& pc) const
{
    const Rect bounds = self.frame.insetBy(-1, -1);
    if (!isVisible(pc, bounds))
        return;
    if (shape_.isRectangle() && pc.painter->transform().type() <= QTransform::TxScale) {
        // An axis-aligned rectangle clips exactly without a layer.
        pc.painter->save();
        pc.painter->setClipRect(QRectF(self.frame.x, self.frame.y, self.frame.width, self.frame.height), Qt::IntersectClip);
        Node::paint(self, pc);
        pc.painter->restore();
        return;
    }
    Layer layer(*pc.painter, bounds, pc.displayScale);
    if (layer.isEmpty())
        return;
    PaintContext inner{&layer.painter(), pc.displayScale};
    Node::paint(self, inner);
    const QTransform toLayer = layer.painter().transform();
    layer.end();
    // Antialiased clipping: keep the content only where the shape's mask is.
    applyClipMask(layer.image(), clipMask(shape_.path(self.frame).qt(), toLayer, layer.image()));
    layer.composite(*pc.painter);
}

namespace {

// Blurred shadows keyed by what was blurred: the same content at the same
// size and radius blurs once. Hashing every pixel of a card each frame cost as
// much as painting it, so the key hashes a few rows and a hit is confirmed by
// comparing the whole content with the one kept beside its blur.
class ShadowCache {
public:
    static ShadowCache& shared()
    {
        static ShadowCache cache;
        return cache;
    }

    struct Entry {
        QImage content;
        QImage blurred;
        std::list<size_t>::iterator place;
        // The content laid over its shadow moved by `shift` pixels, from
        // `origin` (relative to the content's corner); made on first use.
        QImage combined;
        QPoint shift, origin;
        std::vector<QRect> parts;
    };

    Entry& get(const QImage& content, double radius, const QColor& color)
    {
        const size_t key = keyOf(content, radius, color);
        auto it = map_.find(key);
        if (it != map_.end()) {
            if (sameContent(it->second.content, content)) {
                order_.splice(order_.begin(), order_, it->second.place);
                return it->second;
            }
            forget(it);
        }
        QImage blurred = blurredShadow(content, radius, color);
        blurred.setDevicePixelRatio(content.devicePixelRatio());
        order_.push_front(key);
        bytes_ += content.sizeInBytes() + blurred.sizeInBytes();
        Entry& entry = map_[key];
        entry = {content, blurred, order_.begin(), {}, {}, {}, {}};
        while (map_.size() > 256 || (bytes_ > kByteBudget && map_.size() > 1))
            forget(map_.find(order_.back()));
        ++misses;
        return map_.find(key)->second;
    }

    // The shadow and the content as one image, so a frame lays them down in
    // one pass instead of two.
    const QImage& combined(Entry& entry, QPoint shift)
    {
        if (entry.combined.isNull() || entry.shift != shift) {
            bytes_ -= entry.combined.sizeInBytes();
            const QRect content(QPoint(0, 0), entry.content.size());
            const QRect both = content.united(content.translated(shift));
            QImage image(both.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter p(&image);
                p.drawImage(QRect(shift - both.topLeft(), entry.blurred.size()), entry.blurred, entry.blurred.rect());
                p.drawImage(QRect(-both.topLeft(), entry.content.size()), entry.content, entry.content.rect());
            }
            entry.parts = inkedParts(image);
            entry.combined = std::move(image);
            entry.shift = shift;
            entry.origin = both.topLeft();
            bytes_ += entry.combined.sizeInBytes();
        }
        return entry.combined;
    }

    size_t misses = 0;

private:
    static constexpr qsizetype kByteBudget = 48 << 20;

    static size_t keyOf(const QImage& content, double radius, const QColor& color)
    {
        size_t key = size_t(content.width()) * 131 + size_t(content.height());
        key = key * 31 + std::hash<double>()(radius);
        key = key * 31 + size_t(color.rgba());
        const int h = content.height();
        constexpr int kRows = 16;
        for (int i = 0; i < kRows && h > 0; ++i) {
            const int y = int((int64_t(2 * i + 1) * h) / (2 * kRows));
            key = key * 31 + qHashBits(content.constScanLine(y), size_t(content.bytesPerLine()));
        }
        return key;
    }

    static bool sameContent(const QImage& a, const QImage& b)
    {
        if (a.cacheKey() == b.cacheKey())
            return true;
        return a.size() == b.size() && a.format() == b.format() && a.bytesPerLine() == b.bytesPerLine() &&
               std::memcmp(a.constBits(), b.constBits(), size_t(a.sizeInBytes())) == 0;
    }

    void forget(std::unordered_map<size_t, Entry>::iterator it)
    {
        bytes_ -= it->second.content.sizeInBytes() + it->second.blurred.sizeInBytes() + it->second.combined.sizeInBytes();
        order_.erase(it->second.place);
        map_.erase(it);
    }

    std::list<size_t> order_;
    std::unordered_map<size_t, Entry> map_;
    qsizetype bytes_ = 0;
};

}  // namespace

size_t shadowBlurCount() { return ShadowCache::shared().misses; }

Rect ShadowNode::inkBounds(const Element& self, const std::optional<Rect>& children) const
{
    const Rect r = Node::inkBounds(self, children);
    if (std::isinf(r.width))
        return r;
    const double m = 3 * std::max(0.0, radius_) + 4;
    return {std::min(r.x, r.x + x_ - m), std::min(r.y, r.y + y_ - m), r.width + 2 * m + std::abs(x_),
            r.height + 2 * m + std::abs(y_)};
}

void ShadowNode::paint(const Element& self, PaintContext& pc) const
{
    const double margin = 3 * std::max(0.0, radius_) + 4;
    const Rect bounds = self.frame.insetBy(-margin, -margin);
    if (!isVisible(pc, bounds, std::abs(x_) + std::abs(y_)))
        return;
    // A repaint of part of the window blurs only what can reach that part.
    Layer layer(*pc.painter, bounds, pc.displayScale, margin + std::abs(x_) + std::abs(y_) + 1);
    if (layer.isEmpty()) {
        Node::paint(self, pc);
        return;
    }
    PaintContext inner{&layer.painter(), pc.displayScale};
    Node::paint(self, inner);
    layer.end();
    const QTransform& t = pc.painter->transform();
    const double dpr = layer.image().devicePixelRatio();
    const double deviceScale = std::sqrt(std::abs(t.determinant())) * dpr;
    ShadowCache& cache = ShadowCache::shared();
    ShadowCache::Entry& entry = cache.get(layer.image(), radius_ * deviceScale, toQColor(color_, *self.env));
    // The offset in the layer's pixels.
    const QPointF shift = (t.map(QPointF(x_, y_)) - t.map(QPointF(0, 0))) * dpr;
    const QPoint whole = shift.toPoint();
    if (pc.painter->opacity() >= 1 && std::abs(shift.x() - whole.x()) < 1e-6 && std::abs(shift.y() - whole.y()) < 1e-6) {
        const QImage& both = cache.combined(entry, whole);
        drawImagePixels(*pc.painter, layer.pixelOrigin() + entry.origin, both, entry.parts);
        return;
    }
    // Faded, the shadow and the content each take the opacity: the blurred
    // copy at the offset, then the content over it.
    QImage shadow = entry.blurred;
    shadow.setDevicePixelRatio(dpr);
    layer.composite(*pc.painter, shadow, x_, y_);
    layer.composite(*pc.painter);
}

// --- View methods ---------------------------------------------------------------

View View::offset(double x, double y) const
{
    return View(detail::makeNode<TransformNode>(*this, TransformNode::Kind::offset, x, y, UnitPoint::center));
}
View View::scaleEffect(double scale, UnitPoint anchor) const { return scaleEffect(scale, scale, anchor); }
View View::scaleEffect(double sx, double sy, UnitPoint anchor) const
{
    return View(detail::makeNode<TransformNode>(*this, TransformNode::Kind::scale, sx, sy, anchor));
}
View View::rotationEffect(Angle angle, UnitPoint anchor) const
{
    return View(detail::makeNode<TransformNode>(*this, TransformNode::Kind::rotation, angle.radians, 0, anchor));
}
View View::opacity(double opacity) const { return View(detail::makeNode<OpacityNode>(*this, opacity)); }
View View::clipShape(const Shape& shape) const { return View(detail::makeNode<ClipNode>(*this, shape)); }
View View::clipped() const { return clipShape(Rectangle()); }
View View::cornerRadius(double radius) const { return clipShape(RoundedRectangle(radius, RoundedCornerStyle::circular)); }
View View::shadow(Color color, double radius, double x, double y) const
{
    return View(detail::makeNode<ShadowNode>(*this, color, radius, x, y));
}

View View::onTapGesture(std::function<void()> action) const { return View(detail::makeNode<TapNode>(*this, std::move(action))); }
View View::onHover(std::function<void(bool)> action) const
{
    return View(detail::makeNode<HoverNode>(*this, std::move(action), nullptr));
}
View View::onContinuousHover(std::function<void(HoverPhase)> action) const
{
    return View(detail::makeNode<HoverNode>(*this, nullptr, std::move(action)));
}
View View::onScrollWheel(std::function<void(ScrollDelta)> action) const
{
    return View(detail::makeNode<ScrollWheelNode>(*this, std::move(action)));
}
View View::onKeyPress(std::function<bool(const KeyPress&)> action) const
{
    return View(detail::makeNode<KeyPressNode>(*this, std::move(action)));
}
View View::focusable(bool f) const { return View(detail::makeNode<FocusableNode>(*this, f)); }
View View::help(std::string text) const { return View(detail::makeNode<HelpNode>(*this, std::move(text))); }
View View::cursor(CursorShape shape) const { return View(detail::makeNode<CursorNode>(*this, shape)); }
View View::contentShape(const Shape& shape) const { return View(detail::makeNode<ContentShapeNode>(*this, shape)); }
View View::allowsHitTesting(bool enabled) const { return View(detail::makeNode<HitTestingNode>(*this, enabled)); }

namespace {
View withAccessibility(const View& v, const std::function<void(AccessibilityProps&)>& set)
{
    AccessibilityProps props;
    set(props);
    return View(detail::makeNode<AccessibilityNode>(v, std::move(props)));
}
}  // namespace

View View::accessibilityIdentifier(std::string id) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.identifier = std::move(id); });
}
View View::accessibilityLabel(std::string label) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.label = std::move(label); });
}
View View::accessibilityValue(std::string value) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.value = std::move(value); });
}
View View::accessibilityHint(std::string hint) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.hint = std::move(hint); });
}
View View::accessibilityElement(AccessibilityChildBehavior children) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.children = children; });
}
View View::accessibilityHidden(bool hidden) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.hidden = hidden; });
}
View View::accessibilityAddTraits(AccessibilityTrait trait) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.traits |= unsigned(trait); });
}
View View::accessibilityAction(std::string name, std::function<void()> action) const
{
    return withAccessibility(*this, [&](AccessibilityProps& p) { p.actions.emplace_back(std::move(name), std::move(action)); });
}

void FocusableNode::build(Element& self, BuildContext& ctx) const
{
    ModifierNode::build(self, ctx);
    auto* host = dynamic_cast<ViewHost*>(&ctx);
    self.scratch = host && host->focusRingVisible() && host->focus() == self.identity();
}

namespace {
constexpr double focusRingOutset = 3;
bool showsRing(const Element& self)
{
    const bool* ring = std::any_cast<bool>(&self.scratch);
    return ring && *ring;
}
}  // namespace

void FocusableNode::paint(const Element& self, PaintContext& pc) const
{
    ModifierNode::paint(self, pc);
    if (!showsRing(self)) return;
    QPainter& p = *pc.painter;
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(toQColor(accentColor().opacity(0.55), *self.env), 3));
    const Rect f = self.frame.insetBy(-focusRingOutset + 1.5, -focusRingOutset + 1.5);
    p.drawRoundedRect(QRectF(f.x, f.y, f.width, f.height), 5, 5);
    p.restore();
}

Rect FocusableNode::inkBounds(const Element& self, const std::optional<Rect>& children) const
{
    const Rect r = Node::inkBounds(self, children);
    return showsRing(self) ? r.insetBy(-focusRingOutset, -focusRingOutset) : r;
}

}  // namespace platform::ui
