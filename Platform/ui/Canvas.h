#pragma once

#include "ui/Path.h"
#include "ui/Shape.h"
#include "ui/View.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTransform>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPainter;

namespace platform::ui {

class Image;

// How a canvas fill or stroke is coloured. Unlike shape styles, gradient
// geometry here is in the canvas's own points.
class Shading {
public:
    Shading(Color c) : color_(c) {}
    static Shading color(Color c) { return Shading(c); }
    static Shading linearGradient(Gradient g, Point start, Point end);
    static Shading radialGradient(Gradient g, Point center, double startRadius, double endRadius);
    // Clockwise on screen from `angle`, measured from three o'clock.
    static Shading conicGradient(Gradient g, Point center, Angle angle = {});
    static Shading style(ShapeStyle s, Rect bounds);

    QBrush brush(const EnvironmentValues& env) const;

private:
    enum class Kind { color, linear, radial, conic, style };
    Kind kind_ = Kind::color;
    Color color_;
    Gradient gradient_;
    Point a_, b_;
    double r0_ = 0, r1_ = 0;
    Angle angle_{};
    std::optional<ShapeStyle> style_;
    Rect bounds_;
};

// Device pixels kept between frames for drawing that rarely changes (see
// GraphicsContext::drawCached). Whoever draws owns it; it is not shared
// between threads.
class CanvasCache {
public:
    // How many times the kept pixels were drawn afresh.
    size_t renders() const { return renders_; }
    void clear() { image_ = QImage(); }

private:
    friend bool paintCached(QPainter&, CanvasCache&, const std::string&, Rect, double,
                            const std::function<void(QPainter&)>&, const std::function<void(QPainter&)>&);
    QImage image_;
    std::vector<QRect> parts_;  // where the image is not clear
    std::string key_;
    Rect bounds_;
    QTransform device_;  // canvas points to the image's pixels
    // The scale the drawing was last laid down at: while it changes from
    // frame to frame, the kept pixels are resampled instead of drawn afresh.
    double seenScaleX_ = 0, seenScaleY_ = 0;
    size_t renders_ = 0;
};

// The drawing context a canvas hands its renderer. A copy has its own
// transform, opacity and clip, as the declarative original's value type.
class GraphicsContext {
public:
    GraphicsContext(QPainter& painter, EnvironmentPtr env, double displayScale);

    double opacity = 1;

    void fill(const Path& path, const Shading& shading, FillRule rule = FillRule::nonZero) const;
    void stroke(const Path& path, const Shading& shading, const StrokeStyle& style) const;
    void stroke(const Path& path, const Shading& shading, double lineWidth) const;

    void translateBy(double x, double y);
    void scaleBy(double x, double y);
    void rotate(Angle angle);
    void concatenate(const AffineTransform& t);
    // Later drawing is limited to the path (intersected with any clip so far).
    void clip(const Path& path);

    // Draws into an offscreen layer that is composited with the context's
    // opacity when `draw` returns.
    void drawLayer(const std::function<void(GraphicsContext&)>& draw) const;

    // Draws what `draw` paints within `bounds` through `cache`: the drawing is
    // made once into device pixels and copied on later calls while `key`,
    // `bounds`, the scale and the sub-pixel placement stay the same. `draw`
    // must keep within `bounds`; what falls outside may or may not show. The
    // pixels are composited as one layer with
    // the context's opacity and clip. A skewed context draws directly every
    // time. While the scale changes from one call to the next (a drawing
    // growing in), and in a rotated context, the pixels made at the drawing's
    // own scale are laid down resampled; they are made crisp again once the
    // scale holds unturned.
    void drawCached(CanvasCache& cache, const std::string& key, Rect bounds,
                    const std::function<void(GraphicsContext&)>& draw) const;

    // Pixels made for a context's target: the image, where its top-left pixel
    // lies on the target (in its device pixels), and the transform from the
    // context's coordinates to those device pixels when they were made.
    struct Pixels {
        QImage image;
        QPoint origin;
        QTransform device;
    };
    // What `draw` paints within `bounds` moved by (x, y), with `margin`
    // points of room around it, in pixels of this context's target; with a
    // `density` below the target's, at that many pixels a point (soft
    // drawing such as a shadow needs no more, and costs a quarter at half).
    Pixels pixels(Rect bounds, const std::function<void(GraphicsContext&)>& draw, double x = 0, double y = 0,
                  double margin = 0, double density = 0) const;
    // The shadow `coverage` casts, as a view's shadow falls: its alpha blurred
    // over `radius` points, filled with `color`; the drawing itself is left
    // out (the shadow filter's shadow-only option). The blur reaches about
    // 1.5 × `radius` + 2 points out and is cut where the coverage's margin
    // ends. Blurred afresh on every call, so drawing that repeats keeps it
    // inside drawCached.
    Pixels shadowPixels(const Pixels& coverage, const Color& color, double radius) const;
    // Moves pixels made in another context onto this one's pixel grid (at
    // `density`, as `pixels` makes them); false when the two grids differ by
    // more than whole pixels.
    bool place(Pixels& pixels, double density = 0) const;
    // Lays pixels down at their place, with the context's opacity and clip:
    // copied when they lie on this context's grid, else resampled.
    void drawPixels(const Pixels& pixels) const;

    // An image in `rect`, as its view draws it in that frame; a symbol or a
    // template image is filled with `shading`.
    void draw(const Image& image, Rect rect, const Shading& shading) const;

    // Plain text with its top-left (anchor zero) or centre (anchor centre) at `at`.
    void draw(const std::string& text, const Font& font, const Shading& shading, Point at,
              UnitPoint anchor = UnitPoint::center) const;

    const EnvironmentValues& environment() const { return *env_; }
    const QTransform& transform() const { return transform_; }

private:
    void apply(QPainter& p) const;
    // This context's coordinates to its target's device pixels, or to pixels
    // of `density` when that is lower.
    QTransform deviceTransform(double density = 0) const;
    QPainter* painter_;
    EnvironmentPtr env_;
    double displayScale_;
    QTransform base_;        // the painter's transform when the canvas began
    QTransform transform_;   // the canvas's own transform
    double baseOpacity_ = 1;  // the painter's when the canvas began (a faded ancestor)
    std::optional<QPainterPath> clip_;  // in canvas coordinates of the base
};

// `content` drawn through `cache`: made once into device pixels and copied on
// later frames while `key`, the content's size, the scale and its sub-pixel
// placement stay the same (resampled while the scale changes, as
// GraphicsContext::drawCached). `key` must name everything the content shows;
// layout, hits and accessibility stay the content's own. Content that may
// draw anywhere (a canvas) is kept to its frame. For still content that is
// costly to draw (text under a shrink, icons, gradients).
View CachedDrawing(View content, CanvasCache& cache, std::string key);

// A view that draws with a renderer at its full offered size. An empty
// (zero-sized) canvas draws nothing.
View Canvas(std::function<void(GraphicsContext&, Size)> renderer);

}  // namespace platform::ui
