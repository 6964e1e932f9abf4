#include "ui/Painting.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QRadialGradient>
#include <QHash>
#include <array>
#include <cmath>
#include <list>
#include <unordered_map>
#include <vector>

namespace platform::ui {

QColor toQColor(const RGBA& c)
{
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha));
}

QColor toQColor(const Color& c, const EnvironmentValues& env) { return toQColor(env.resolve(c)); }

namespace {

Color hierarchicalColor(int level, const EnvironmentValues& env)
{
    static const double fades[] = {1.0, 0.55, 0.3, 0.18};
    const int l = std::clamp(level, 0, 3);
    if (const auto* base = std::get_if<Color>(&env.foregroundStyle.value()))
        return base->opacity(fades[l]);
    switch (l) {
    case 0: return Color::primary();
    case 1: return Color::secondary();
    case 2: return Color::tertiary();
    default: return Color::primary().opacity(0.18 / 0.85);
    }
}

void setStops(QGradient& g, const Gradient& gradient, const EnvironmentValues& env, bool reversed)
{
    QGradientStops stops;
    for (const auto& s : gradient.stops) {
        const double at = std::clamp(reversed ? 1.0 - s.location : s.location, 0.0, 1.0);
        stops.push_back({at, toQColor(s.color, env)});
    }
    std::stable_sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    if (stops.isEmpty())
        stops.push_back({0.0, Qt::transparent});
    g.setStops(stops);
}

}  // namespace

QBrush toBrush(const ShapeStyle& style, const EnvironmentValues& env, const Rect& bounds)
{
    return std::visit(
        [&](const auto& v) -> QBrush {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Color>) {
                return QBrush(toQColor(v, env));
            } else if constexpr (std::is_same_v<T, HierarchicalStyle>) {
                return QBrush(toQColor(hierarchicalColor(v.level, env), env));
            } else if constexpr (std::is_same_v<T, Material>) {
                return QBrush(toQColor(materialColor(v), env));
            } else if constexpr (std::is_same_v<T, LinearGradient>) {
                const Point a = v.startPoint.in(bounds), b = v.endPoint.in(bounds);
                QLinearGradient g(a.x, a.y, b.x, b.y);
                setStops(g, v.gradient, env, false);
                return QBrush(g);
            } else if constexpr (std::is_same_v<T, RadialGradient>) {
                const Point c = v.center.in(bounds);
                const double r0 = std::max(0.0, v.startRadius);
                const double r1 = std::max(r0 + 1e-6, v.endRadius);
                // Qt's focal circle is where the gradient starts.
                QRadialGradient g(QPointF(c.x, c.y), r1, QPointF(c.x, c.y), r0);
                setStops(g, v.gradient, env, false);
                return QBrush(g);
            } else {
                const Point c = v.center.in(bounds);
                // Qt's conical gradient turns anticlockwise on screen from its
                // angle; ours turns clockwise, so mirror angle and stops.
                QConicalGradient g(QPointF(c.x, c.y), -v.startAngle.inDegrees());
                setStops(g, v.gradient, env, true);
                return QBrush(g);
            }
        },
        style.value());
}

QPen toPen(const StrokeStyle& s, const QBrush& brush)
{
    QPen pen(brush, s.lineWidth);
    pen.setCapStyle(s.lineCap == LineCap::round ? Qt::RoundCap : s.lineCap == LineCap::square ? Qt::SquareCap : Qt::FlatCap);
    pen.setJoinStyle(s.lineJoin == LineJoin::round ? Qt::RoundJoin : s.lineJoin == LineJoin::bevel ? Qt::BevelJoin : Qt::MiterJoin);
    // Qt measures the miter from the join point in pen widths; the usual
    // limit is the miter's full length over the width, twice that.
    pen.setMiterLimit(std::max(0.0, s.miterLimit / 2.0));
    if (!s.dash.empty() && s.lineWidth > 0) {
        // Qt counts dashes in pen widths; ours are points.
        QList<qreal> pattern;
        for (double d : s.dash) pattern.push_back(std::max(1e-4, d / s.lineWidth));
        if (pattern.size() % 2 == 1) pattern += pattern;
        pen.setDashPattern(pattern);
        pen.setDashOffset(s.dashPhase / s.lineWidth);
    }
    return pen;
}

namespace {

// Antialiased fills and strokes are rasterised through Qt's general path
// filler, which costs far more than copying pixels, and Qt hands any fill of
// more than about a hundred spans (a card's background, its rim) to its worker
// threads and waits for them: the rims of cards and the rings of tokens were a
// fifth of a scrolling frame. A solid shape is drawn once into an image, in
// device pixels at its fraction of a pixel, and copied to its place on later
// frames; it keys on the outline relative to its own corner, so scrolling
// does not change it.
class ShapeCache {
public:
    static ShapeCache& shared()
    {
        static ShapeCache cache;
        return cache;
    }

    // Strokes `path` with `pen`, or fills it with `brush` when `pen` is null.
    bool draw(QPainter& p, const QPainterPath& path, const QPen* pen, const QBrush& brush)
    {
        const QTransform& world = p.transform();
        QPaintDevice* device = p.device();
        if (!device || world.type() > QTransform::TxScale || world.m11() <= 0 || world.m22() <= 0 ||
            p.compositionMode() != QPainter::CompositionMode_SourceOver ||
            !p.testRenderHint(QPainter::Antialiasing) || brush.style() != Qt::SolidPattern)
            return false;
        const double dpr = device->devicePixelRatioF();
        const QTransform t = world * QTransform::fromScale(dpr, dpr);
        const QRectF box = path.controlPointRect();
        // Room for the pen, its caps and miters, in points.
        const double reach = pen ? pen->widthF() * std::max(1.0, pen->miterLimit()) + 2 : 2;
        const QRectF devBox = t.mapRect(box.adjusted(-reach, -reach, reach, reach));
        if (devBox.width() * devBox.height() > kMaxPixels || devBox.isEmpty())
            return false;
        const QPointF corner = t.map(box.topLeft());
        const QPointF whole(std::floor(corner.x()), std::floor(corner.y()));
        const QPointF margin(std::ceil(corner.x() - devBox.left()), std::ceil(corner.y() - devBox.top()));

        size_t key = std::hash<double>()(t.m11()) * 31 + std::hash<double>()(t.m22());
        key = key * 31 + std::hash<double>()(corner.x() - whole.x());
        key = key * 31 + std::hash<double>()(corner.y() - whole.y());
        key = key * 31 + size_t(brush.color().rgba64());
        if (pen) {
            key = key * 31 + std::hash<double>()(pen->widthF());
            key = key * 31 + std::hash<double>()(pen->miterLimit());
            key = key * 31 + std::hash<double>()(pen->dashOffset());
            key = key * 31 + size_t(pen->capStyle()) * 7 + size_t(pen->joinStyle());
            for (qreal d : pen->dashPattern()) key = key * 31 + std::hash<double>()(d);
        }
        const int n = path.elementCount();
        std::vector<double> outline;
        outline.reserve(size_t(n) * 3 + 2);
        outline.push_back(pen ? 1.0 : 0.0);
        outline.push_back(double(path.fillRule()));
        for (int i = 0; i < n; ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            outline.push_back(double(e.type));
            outline.push_back(e.x - box.left());
            outline.push_back(e.y - box.top());
        }
        key = key * 31 + qHashBits(outline.data(), outline.size() * sizeof(double));

        auto it = map_.find(key);
        if (it == map_.end() || it->second.outline != outline || it->second.margin != margin) {
            if (it != map_.end())
                forget(it);
            const QSize size(int(std::ceil(devBox.width())) + 2, int(std::ceil(devBox.height())) + 2);
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter ip(&image);
                ip.setRenderHint(QPainter::Antialiasing);
                ip.setTransform(t * QTransform::fromTranslate(margin.x() - whole.x(), margin.y() - whole.y()));
                if (pen)
                    ip.strokePath(path, *pen);
                else
                    ip.fillPath(path, brush);
            }
            image.setDevicePixelRatio(dpr);
            order_.push_front(key);
            bytes_ += image.sizeInBytes();
            std::vector<QRect> parts = inkedParts(image);
            it = map_.emplace(key, Entry{std::move(outline), margin, image, std::move(parts), order_.begin()}).first;
            while (map_.size() > 1 && (map_.size() > kMaxEntries || bytes_ > kByteBudget))
                forget(map_.find(order_.back()));
            it = map_.find(key);
        } else {
            order_.splice(order_.begin(), order_, it->second.place);
        }
        // Whole device pixels, so the copy lands exactly where the shape would.
        drawImagePixels(p, QPointF(whole.x() - margin.x(), whole.y() - margin.y()), it->second.image, it->second.parts);
        return true;
    }

private:
    struct Entry {
        std::vector<double> outline;
        QPointF margin;
        QImage image;
        std::vector<QRect> parts;  // where it is not clear
        std::list<size_t>::iterator place;
    };
    // Up to a 1× window's width and height: a rim around the whole content.
    static constexpr double kMaxPixels = 1500.0 * 1000.0;
    static constexpr size_t kMaxEntries = 512;
    // More than a frame's worth of shapes, at 1× and 2×: beyond that a long
    // list's one-off shapes only hold memory (48 MB let a 10,000-row list
    // keep 30 MB more, for no frame time).
    static constexpr qsizetype kByteBudget = 16 << 20;

    void forget(std::unordered_map<size_t, Entry>::iterator it)
    {
        bytes_ -= it->second.image.sizeInBytes();
        order_.erase(it->second.place);
        map_.erase(it);
    }

    std::list<size_t> order_;
    std::unordered_map<size_t, Entry> map_;
    qsizetype bytes_ = 0;
};

bool isRectangle(const QPainterPath& path)
{
    const int n = path.elementCount();
    if (n < 4 || n > 5)
        return false;
    const QRectF box = path.controlPointRect();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isCurveTo() || (e.x != box.left() && e.x != box.right()) || (e.y != box.top() && e.y != box.bottom()))
            return false;
    }
    return true;
}

}  // namespace

void fillPath(QPainter& p, const Path& path, const ShapeStyle& style, const EnvironmentValues& env, const Rect& bounds)
{
    const QBrush brush = toBrush(style, env, bounds);
    // A clear colour over what is there leaves it as it is.
    if (brush.style() == Qt::SolidPattern && brush.color().alpha() == 0 &&
        p.compositionMode() == QPainter::CompositionMode_SourceOver)
        return;
    const QPainterPath qp = path.qt();
    // A plain rectangle fills as fast as it copies, without an image to keep.
    if (isRectangle(qp) || !ShapeCache::shared().draw(p, qp, nullptr, brush))
        p.fillPath(qp, brush);
}

void strokePath(QPainter& p, const Path& path, const ShapeStyle& style, const StrokeStyle& stroke,
                const EnvironmentValues& env, const Rect& bounds)
{
    if (stroke.lineWidth <= 0)
        return;
    const QPen pen = toPen(stroke, toBrush(style, env, bounds));
    const QPainterPath qp = path.qt();
    if (!ShapeCache::shared().draw(p, qp, &pen, pen.brush()))
        p.strokePath(qp, pen);
}

void drawImagePixels(QPainter& p, QPointF at, const QImage& image)
{
    drawImagePixels(p, at, image, {image.rect()});
}

void drawImagePixels(QPainter& p, QPointF at, const QImage& image, const std::vector<QRect>& parts)
{
    QPaintDevice* device = p.device();
    const double dpr = device ? device->devicePixelRatioF() : 1.0;
    const bool whole = at.x() == std::round(at.x()) && at.y() == std::round(at.y());
    p.save();
    p.resetTransform();
    if (whole)
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const QRect& r : parts)
        p.drawImage(QRectF((at.x() + r.x()) / dpr, (at.y() + r.y()) / dpr, r.width() / dpr, r.height() / dpr), image, QRectF(r));
    p.restore();
}

std::vector<QRect> inkedParts(const QImage& image)
{
    constexpr int tile = 64;
    const int w = image.width(), h = image.height();
    if (!image.hasAlphaChannel() || w * h <= 4 * tile * tile || image.depth() != 32)
        return {image.rect()};
    std::vector<QRect> parts;
    for (int ty = 0; ty < h; ty += tile) {
        const int th = std::min(tile, h - ty);
        // Which tiles of this row have ink, joined into runs.
        std::vector<bool> inked((w + tile - 1) / tile, false);
        for (int y = ty; y < ty + th; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < w; ++x)
                if (qAlpha(line[x]) != 0) {
                    inked[size_t(x / tile)] = true;
                    x = (x / tile + 1) * tile - 1;  // the rest of this tile is settled
                }
        }
        for (size_t i = 0; i < inked.size();) {
            if (!inked[i]) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < inked.size() && inked[j])
                ++j;
            parts.emplace_back(int(i) * tile, ty, std::min(int(j) * tile, w) - int(i) * tile, th);
            i = j;
        }
    }
    return parts;
}

bool isVisible(const PaintContext& pc, const Rect& rect, double margin)
{
    QPainter* p = pc.painter;
    if (!p || !p->device())
        return false;
    const QRectF mapped = p->transform().mapRect(
        QRectF(rect.x - margin, rect.y - margin, rect.width + 2 * margin, rect.height + 2 * margin));
    const QRectF device(0, 0, p->device()->width(), p->device()->height());
    if (!(mapped.intersects(device) || mapped.isEmpty()))
        return false;
    if (p->hasClipping()) {
        // Only what the current repaint covers needs drawing.
        const QRectF clip = p->transform().mapRect(p->clipBoundingRect());
        return mapped.intersects(clip) || mapped.isEmpty();
    }
    return true;
}

// --- Layers -----------------------------------------------------------------

Layer::Layer(QPainter& target, const Rect& bounds, double deviceScale, std::optional<double> clipReach) : scale_(deviceScale)
{
    QPaintDevice* dev = target.device();
    if (!dev)
        return;
    // Logical device coordinates; the image itself has the device's pixel ratio.
    const double dpr = dev->devicePixelRatioF();
    const QRectF deviceRect = target.transform().mapRect(QRectF(bounds.x, bounds.y, bounds.width, bounds.height));
    QRectF clipped = deviceRect.intersected(QRectF(0, 0, dev->width(), dev->height()));
    if (clipReach && target.hasClipping()) {
        const QTransform& t = target.transform();
        const double reach = *clipReach * std::sqrt(std::abs(t.determinant()));
        clipped = clipped.intersected(t.mapRect(target.clipBoundingRect()).adjusted(-reach, -reach, reach, reach));
    }
    const QRect pixels = clipped.toAlignedRect();
    if (pixels.isEmpty())
        return;
    bounds_ = {double(pixels.x()), double(pixels.y()), double(pixels.width()), double(pixels.height())};
    image_ = QImage(QSize(int(std::ceil(pixels.width() * dpr)), int(std::ceil(pixels.height() * dpr))),
                    QImage::Format_ARGB32_Premultiplied);
    image_.setDevicePixelRatio(dpr);
    image_.fill(Qt::transparent);
    painter_ = new QPainter(&image_);
    painter_->setRenderHint(QPainter::Antialiasing);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform);
    painter_->setRenderHint(QPainter::TextAntialiasing);
    QTransform t = target.transform();
    t *= QTransform::fromTranslate(-pixels.x(), -pixels.y());
    painter_->setTransform(t);
    painter_->setFont(target.font());
}

void Layer::end()
{
    if (painter_) {
        painter_->end();
        delete painter_;
        painter_ = nullptr;
    }
}

Layer::~Layer() { end(); }

void Layer::composite(QPainter& target, double dx, double dy, double opacity) const
{
    composite(target, image_, dx, dy, opacity);
}

void Layer::composite(QPainter& target, const QImage& image, double dx, double dy, double opacity) const
{
    if (image_.isNull() || image.isNull())
        return;
    target.save();
    const QPointF shift = target.transform().map(QPointF(dx, dy)) - target.transform().map(QPointF(0, 0));
    target.setOpacity(target.opacity() * opacity);
    const double dpr = image_.devicePixelRatio();
    drawImagePixels(target, QPointF((bounds_.x + shift.x()) * dpr, (bounds_.y + shift.y()) * dpr), image);
    target.restore();
}

// --- Shadow blur --------------------------------------------------------------

namespace {

// The mean of a window's sum, rounded, for every sum a window of 8-bit
// values can hold: a look-up instead of a division per pixel.
std::vector<uint8_t> windowMeans(int window)
{
    std::vector<uint8_t> means(size_t(255) * window + 1);
    for (size_t sum = 0; sum < means.size(); ++sum)
        means[sum] = uint8_t((int(sum) + window / 2) / window);
    return means;
}

// A box of 2r + 1 along a row of n values (r > 0); beyond the ends counts as clear.
void boxBlurRow(const uint8_t* src, uint8_t* dst, int n, int r, const uint8_t* means)
{
    int sum = 0;
    for (int i = 0; i <= r && i < n; ++i)
        sum += src[i];
    for (int i = 0; i < n; ++i) {
        dst[i] = means[sum];
        const int add = i + r + 1, sub = i - r;
        if (add < n) sum += src[add];
        if (sub >= 0) sum -= src[sub];
    }
}

// The same down every column of a w × h image at once, row by row, so the
// pixels are read in the order they lie in memory.
void boxBlurColumns(const uint8_t* src, uint8_t* dst, int w, int h, int r, const uint8_t* means, std::vector<int>& sums)
{
    sums.assign(size_t(w), 0);
    for (int i = 0; i <= r && i < h; ++i)
        for (int x = 0; x < w; ++x)
            sums[size_t(x)] += src[size_t(i) * w + x];
    for (int y = 0; y < h; ++y) {
        uint8_t* out = dst + size_t(y) * w;
        for (int x = 0; x < w; ++x)
            out[x] = means[size_t(sums[size_t(x)])];
        const int add = y + r + 1, sub = y - r;
        if (add < h)
            for (int x = 0; x < w; ++x)
                sums[size_t(x)] += src[size_t(add) * w + x];
        if (sub >= 0)
            for (int x = 0; x < w; ++x)
                sums[size_t(x)] -= src[size_t(sub) * w + x];
    }
}

}  // namespace

QImage blurredShadow(const QImage& source, double radiusPixels, const QColor& color)
{
    const int w = source.width(), h = source.height();
    if (w == 0 || h == 0)
        return {};
    std::vector<uint8_t> a(size_t(w) * h), b(size_t(w) * h);
    const QImage src = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) a[size_t(y) * w + x] = uint8_t(qAlpha(line[x]));
    }
    // Three box passes approximate a Gaussian of sigma = radius / 2.
    const double sigma = std::max(0.0, radiusPixels / 2.0);
    const int box = int(std::floor(std::sqrt(4.0 * sigma * sigma + 1.0) / 2.0 + 0.5));
    std::vector<int> sums;
    const std::vector<uint8_t> means = box > 0 ? windowMeans(2 * box + 1) : std::vector<uint8_t>();
    for (int pass = 0; pass < 3 && box > 0; ++pass) {
        for (int y = 0; y < h; ++y) boxBlurRow(&a[size_t(y) * w], &b[size_t(y) * w], w, box, means.data());
        boxBlurColumns(b.data(), a.data(), w, h, box, means.data(), sums);
    }
    // The colour at each of the 256 coverages.
    std::array<QRgb, 256> shade;
    const double ca = color.alphaF();
    for (int i = 0; i < 256; ++i) {
        const double alpha = i / 255.0 * ca;
        shade[size_t(i)] = qRgba(int(color.red() * alpha + 0.5), int(color.green() * alpha + 0.5),
                                 int(color.blue() * alpha + 0.5), int(alpha * 255 + 0.5));
    }
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const uint8_t* coverage = &a[size_t(y) * w];
        for (int x = 0; x < w; ++x)
            line[x] = shade[coverage[x]];
    }
    return out;
}

}  // namespace platform::ui
