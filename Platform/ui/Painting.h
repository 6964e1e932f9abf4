#pragma once

// QPainter helpers shared by the nodes: colours and styles to Qt brushes,
// fills and strokes, culling, offscreen layers and the shadow blur.

#include "ui/Environment.h"
#include "ui/Path.h"
#include "ui/Shape.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPen>
#include <QPointF>
#include <QRect>

#include <vector>

class QPainter;

namespace platform::ui {

QColor toQColor(const RGBA& c);
QColor toQColor(const Color& c, const EnvironmentValues& env);
// The brush for a style over `bounds` (gradients are laid out on it).
QBrush toBrush(const ShapeStyle& style, const EnvironmentValues& env, const Rect& bounds);
QPen toPen(const StrokeStyle& stroke, const QBrush& brush);

void fillPath(QPainter& p, const Path& path, const ShapeStyle& style, const EnvironmentValues& env, const Rect& bounds);
void strokePath(QPainter& p, const Path& path, const ShapeStyle& style, const StrokeStyle& stroke,
                const EnvironmentValues& env, const Rect& bounds);

// Draws `image` with its top-left at `at` in the painter's device pixels (the
// transform is set aside), pixel for pixel. Placed at whole device pixels it
// is copied or blended as it is, never filtered: with smooth resampling on,
// Qt's raster engine sends even an unscaled image through its general span
// filler, which hands large images to its worker threads.
void drawImagePixels(QPainter& p, QPointF at, const QImage& image);
// The same for the parts of `image` in `parts` (its pixels), as `inkedParts` gives.
void drawImagePixels(QPainter& p, QPointF at, const QImage& image, const std::vector<QRect>& parts);
// Rectangles that together cover every pixel of `image` that is not clear,
// and few of those that are: a large image that is mostly clear (a rim round
// a card, the boughs of a tree) costs its whole size to lay down.
std::vector<QRect> inkedParts(const QImage& image);

// False when `rect` (grown by `margin`) lies wholly outside the painter's clip
// or target, so leaves can skip their drawing.
bool isVisible(const PaintContext& pc, const Rect& rect, double margin = 0);

// An offscreen layer: children are drawn into a transparent image covering
// `bounds` (in the current painter's coordinates) at the device scale, then
// composited back.
class Layer {
public:
    // With `clipReach`, only the part of `bounds` within that many points of
    // the target's clip is made: what is drawn beyond that cannot reach the clip.
    Layer(QPainter& target, const Rect& bounds, double deviceScale, std::optional<double> clipReach = std::nullopt);
    QPainter& painter() { return *painter_; }
    QImage& image() { return image_; }
    bool isEmpty() const { return image_.isNull(); }
    // Where the layer's top-left pixel lies on the target, in its device pixels.
    QPointF pixelOrigin() const { return {bounds_.x * image_.devicePixelRatio(), bounds_.y * image_.devicePixelRatio()}; }
    void end();
    // Draws the layer onto the target at its place (offset in points).
    void composite(QPainter& target, double dx = 0, double dy = 0, double opacity = 1) const;
    // Draws another image of the layer's pixel size at the layer's place (a shadow made from it).
    void composite(QPainter& target, const QImage& image, double dx, double dy, double opacity = 1) const;
    ~Layer();

private:
    QImage image_;
    QPainter* painter_ = nullptr;
    Rect bounds_;
    double scale_ = 1;
};

// A Gaussian-like blur (three box passes) of an image's alpha, coloured.
QImage blurredShadow(const QImage& source, double radiusPixels, const QColor& color);
// How many shadows were blurred (cache misses) so far in this process.
size_t shadowBlurCount();

// Exposed for hit-testing and tests: the shape of a shape view, and whether
// it is filled with a fully clear colour (which takes no clicks).
const Shape* shapeOfNode(const Node* node);
bool isClearFilledShape(const Node* node);
// Whether a shape view takes a hit at `p`: inside a fill, on a stroke's line.
bool shapeNodeContains(const Node* node, const Rect& frame, Point p);

}  // namespace platform::ui
