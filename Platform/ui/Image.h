#pragma once

#include "ui/View.h"

#include <QBrush>
#include <QByteArray>
#include <QImage>
#include <string>

namespace platform::ui {

enum class ImageRenderingMode { original, template_ };

// An image view: a PNG or SVG file, SVG text, a bitmap, or a system symbol.
// It is a view; the image-only modifiers return images.
class Image : public View {
public:
    static Image file(const std::string& path);
    static Image svgData(const QByteArray& svg, const std::string& cacheKey);
    static Image bitmap(const QImage& image);
    // A symbol by name through the symbol catalogue; names ending in ".fill"
    // take the filled weight. Sized by the font, tinted by the foreground
    // style; an unknown name draws a neutral placeholder.
    static Image systemName(const std::string& name);

    Image resizable() const;
    Image renderingMode(ImageRenderingMode mode) const;
    // Images are always drawn smoothly and symbols in one colour; these keep
    // bodies that ask for it readable.
    Image interpolationHigh() const { return *this; }
    Image symbolRenderingModeMonochrome() const { return *this; }

    // True when the source loaded (or is a known symbol).
    bool isValid() const;

private:
    using View::View;
};

// The side of the square a symbol takes in text of `font`.
double symbolSide(const Font& font);

// Paints `image` within `rect` (the painter's coordinates) as its view paints
// it in that frame: a symbol or template image filled with `tint`. For
// drawing that is not a view, such as a canvas.
void paintImage(QPainter& painter, const Image& image, const Rect& rect, const QBrush& tint,
                const EnvironmentValues& env);

// The file of a symbol name in the bundle's symbol set, when there is one.
std::optional<std::string> symbolFile(const std::string& name);

}  // namespace platform::ui
