#include "ui/Image.h"

#include "ui/Painting.h"
#include "ui/Text.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>
#include <list>
#include <map>
#include <unordered_map>

#if __has_include("ui/SymbolCatalogue.h")
#include "ui/SymbolCatalogue.h"
#define TIDEWELL_HAS_SYMBOL_CATALOGUE 1
#endif

namespace platform::ui {

std::optional<std::string> symbolFile(const std::string& name)
{
#ifdef TIDEWELL_HAS_SYMBOL_CATALOGUE
    // Bodies ask on every rebuild; the answer for a name does not change
    // while the application runs.
    static std::map<std::string, std::optional<std::string>> known;
    if (auto it = known.find(name); it != known.end())
        return it->second;
    auto path = symbolFilePath(name);
    std::error_code ec;
    if (!path || !std::filesystem::is_regular_file(*path, ec))
        path.reset();
    known[name] = path;
    return path;
#else
    (void)name;
#endif
    return std::nullopt;
}

namespace {

// A decoded image source, shared by every view that shows it.
struct Source {
    QImage bitmap;
    std::shared_ptr<QSvgRenderer> svg;
    std::string key;
    bool valid() const { return !bitmap.isNull() || (svg && svg->isValid()); }
    Size intrinsic() const
    {
        if (svg && svg->isValid()) {
            const QSizeF s = svg->defaultSize();
            return {s.width(), s.height()};
        }
        return {double(bitmap.width()), double(bitmap.height())};
    }
};

std::shared_ptr<const Source> loadFile(const std::string& path)
{
    static std::map<std::string, std::shared_ptr<const Source>> cache;
    auto it = cache.find(path);
    if (it != cache.end())
        return it->second;
    auto s = std::make_shared<Source>();
    s->key = "file:" + path;
    const QString qpath = QString::fromStdString(path);
    if (qpath.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        auto r = std::make_shared<QSvgRenderer>(qpath);
        if (r->isValid()) s->svg = r;
    } else {
        s->bitmap.load(qpath);
    }
    // Failures are not kept, so a file that appears later is found.
    if (s->valid())
        cache[path] = s;
    return s;
}

// Rasterised images at one pixel size and tint, so repaints only blit.
class RasterCache {
public:
    static RasterCache& shared()
    {
        static RasterCache c;
        return c;
    }
    QImage get(const std::string& key, const std::function<QImage()>& make)
    {
        auto it = map_.find(key);
        if (it != map_.end()) {
            order_.splice(order_.begin(), order_, it->second.second);
            return it->second.first;
        }
        QImage img = make();
        order_.push_front(key);
        map_[key] = {img, order_.begin()};
        while (map_.size() > 512) {
            map_.erase(order_.back());
            order_.pop_back();
        }
        return img;
    }

private:
    std::list<std::string> order_;
    std::unordered_map<std::string, std::pair<QImage, std::list<std::string>::iterator>> map_;
};

struct ImageSpec {
    std::shared_ptr<const Source> source;
    std::string symbolName;  // set for system symbols
    bool isSymbol = false;
    bool resizable = false;
    ImageRenderingMode mode = ImageRenderingMode::original;
};

// Symbols keep their square inside the frame; other images fill it.
Rect drawRectOf(const ImageSpec& picture, const Rect& frame)
{
    if (!picture.isSymbol)
        return frame;
    const double side = std::min(frame.width, frame.height);
    return {frame.midX() - side / 2, frame.midY() - side / 2, side, side};
}

QImage rasterise(const ImageSpec& picture, QSize pixels)
{
    QImage img(pixels, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (picture.source->svg)
        picture.source->svg->render(&p, QRectF(0, 0, pixels.width(), pixels.height()));
    else
        p.drawImage(QRectF(0, 0, pixels.width(), pixels.height()), picture.source->bitmap);
    return img;
}

void drawPlaceholder(QPainter& p, const Rect& frame, const Rect& r, const EnvironmentValues& env)
{
    // A neutral dotted square: visible, but clearly not an icon.
    const Rect box = r.insetBy(r.width * 0.15, r.height * 0.15);
    StrokeStyle s;
    s.lineWidth = std::max(1.0, r.width / 14);
    s.dash = {s.lineWidth * 1.5, s.lineWidth * 1.5};
    strokePath(p, Path::roundedRect(box, box.width * 0.2), Color::gray(), s, env, frame);
}

// Paints the image in `frame`; a symbol or template image takes `brush`.
void paintImageSpec(QPainter& p, const ImageSpec& picture, const Rect& frame, const QBrush& brush,
                    const EnvironmentValues& env)
{
    const Rect r = drawRectOf(picture, frame);
    if (!picture.source || !picture.source->valid()) {
        if (picture.isSymbol) drawPlaceholder(p, frame, r, env);
        return;
    }
    // Raster at the device size of the drawing rectangle.
    const QRectF device = p.transform().mapRect(QRectF(r.x, r.y, r.width, r.height));
    const QSize pixels(std::max(1, int(std::ceil(device.width()))), std::max(1, int(std::ceil(device.height()))));
    if (pixels.width() > 8192 || pixels.height() > 8192)
        return;
    const bool tinted = picture.isSymbol || picture.mode == ImageRenderingMode::template_;
    std::string key = picture.source->key + "@" + std::to_string(pixels.width()) + "x" + std::to_string(pixels.height());
    QImage raster = RasterCache::shared().get(key, [&] { return rasterise(picture, pixels); });
    // A solid tint is kept with the raster; gradients are laid over each time.
    if (tinted && brush.style() == Qt::SolidPattern) {
        const std::string tintKey = key + "#" + std::to_string(brush.color().rgba());
        raster = RasterCache::shared().get(tintKey, [&] {
            QImage out(raster.size(), QImage::Format_ARGB32_Premultiplied);
            out.fill(brush.color());
            QPainter tp(&out);
            tp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            tp.drawImage(0, 0, raster);
            tp.end();
            return out;
        });
    } else if (tinted) {
        // Template rendering: the image's coverage filled with the foreground style.
        QImage tintedImage(raster.size(), QImage::Format_ARGB32_Premultiplied);
        tintedImage.fill(Qt::transparent);
        QPainter tp(&tintedImage);
        QTransform t = QTransform::fromScale(pixels.width() / std::max(1e-9, r.width), pixels.height() / std::max(1e-9, r.height));
        t.translate(-r.x, -r.y);
        tp.setTransform(t);
        tp.fillRect(QRectF(r.x, r.y, r.width, r.height), brush);
        tp.resetTransform();
        tp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        tp.drawImage(0, 0, raster);
        tp.end();
        raster = tintedImage;
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(r.x, r.y, r.width, r.height), raster);
    p.restore();
}

class ImageNode final : public Node {
public:
    explicit ImageNode(ImageSpec config) : spec_(std::move(config)) {}
    const ImageSpec& config() const { return spec_; }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext&) const override
    {
        const Size intrinsic = intrinsicSize(self);
        if (!spec_.resizable)
            return intrinsic;
        Size s = p.replacingUnspecified(intrinsic);
        if (!std::isfinite(s.width)) s.width = intrinsic.width;
        if (!std::isfinite(s.height)) s.height = intrinsic.height;
        return s;
    }

    std::optional<double> firstBaseline(Element& self, Size size, LayoutContext&) const override
    {
        if (!spec_.isSymbol)
            return std::nullopt;
        // Symbols sit on the text baseline like a glyph.
        const ResolvedFont& f = resolveFont(self.env->font);
        return size.height / 2 + (f.ascent - f.descent) / 2 * 0.75;
    }

    void paint(const Element& self, PaintContext& pc) const override
    {
        if (self.frame.width <= 0 || self.frame.height <= 0 || !isVisible(pc, self.frame))
            return;
        const bool tinted = spec_.isSymbol || spec_.mode == ImageRenderingMode::template_;
        paintImageSpec(*pc.painter, spec_, self.frame,
                       tinted ? toBrush(self.env->foregroundStyle, *self.env, self.frame) : QBrush(), *self.env);
    }

private:
    Size intrinsicSize(const Element& self) const
    {
        if (spec_.isSymbol) {
            const double side = symbolSide(self.env->font);
            return {side, side};
        }
        return spec_.source ? spec_.source->intrinsic() : Size{};
    }

    ImageSpec spec_;
};

const ImageSpec* specOf(const View& v)
{
    auto* n = dynamic_cast<const ImageNode*>(v.node().get());
    return n ? &n->config() : nullptr;
}

}  // namespace

Image Image::file(const std::string& path)
{
    ImageSpec s;
    s.source = loadFile(path);
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

Image Image::svgData(const QByteArray& svg, const std::string& cacheKey)
{
    auto src = std::make_shared<Source>();
    src->key = "svg:" + cacheKey;
    auto r = std::make_shared<QSvgRenderer>(svg);
    if (r->isValid()) src->svg = r;
    ImageSpec s;
    s.source = src;
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

Image Image::bitmap(const QImage& image)
{
    auto src = std::make_shared<Source>();
    src->bitmap = image;
    src->key = "bitmap:" + std::to_string(image.cacheKey());
    ImageSpec s;
    s.source = src;
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

Image Image::systemName(const std::string& name)
{
    ImageSpec s;
    s.isSymbol = true;
    s.symbolName = name;
    s.mode = ImageRenderingMode::template_;
    if (auto path = symbolFile(name))
        s.source = loadFile(*path);
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

Image Image::resizable() const
{
    const ImageSpec* cur = specOf(*this);
    if (!cur) return *this;
    ImageSpec s = *cur;
    s.resizable = true;
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

Image Image::renderingMode(ImageRenderingMode mode) const
{
    const ImageSpec* cur = specOf(*this);
    if (!cur) return *this;
    ImageSpec s = *cur;
    s.mode = s.isSymbol ? ImageRenderingMode::template_ : mode;
    return Image(detail::makeNode<ImageNode>(std::move(s)));
}

double symbolSide(const Font& font) { return font.size() * 1.2; }

void paintImage(QPainter& painter, const Image& image, const Rect& rect, const QBrush& tint,
                const EnvironmentValues& env)
{
    if (const ImageSpec* picture = specOf(image); picture && rect.width > 0 && rect.height > 0)
        paintImageSpec(painter, *picture, rect, tint, env);
}

bool Image::isValid() const
{
    const ImageSpec* s = specOf(*this);
    return s && s->source && s->source->valid();
}

}  // namespace platform::ui
