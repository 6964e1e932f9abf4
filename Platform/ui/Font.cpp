#include "ui/Font.h"

#include <utility>

namespace platform::ui {

double textStyleSize(TextStyle style)
{
    switch (style) {
    case TextStyle::largeTitle: return 26;
    case TextStyle::title: return 22;
    case TextStyle::title2: return 17;
    case TextStyle::title3: return 15;
    case TextStyle::headline: return 13;
    case TextStyle::body: return 13;
    case TextStyle::callout: return 12;
    case TextStyle::subheadline: return 11;
    case TextStyle::footnote: return 10;
    case TextStyle::caption: return 10;
    case TextStyle::caption2: return 10;
    }
    return 13;
}

FontWeight textStyleWeight(TextStyle style)
{
    return style == TextStyle::headline ? FontWeight::bold : FontWeight::regular;
}

Font Font::system(double size, FontWeight weight, FontDesign design)
{
    Font f;
    f.size_ = size;
    f.weight_ = weight;
    f.design_ = design;
    return f;
}

Font Font::system(TextStyle style, FontDesign design)
{
    return system(textStyleSize(style), textStyleWeight(style), design);
}

Font Font::custom(std::string family, double size)
{
    Font f;
    f.size_ = size;
    f.family_ = std::move(family);
    return f;
}

Font Font::weight(FontWeight w) const
{
    Font f = *this;
    f.weight_ = w;
    return f;
}

Font Font::italic() const
{
    Font f = *this;
    f.italic_ = true;
    return f;
}

Font Font::monospacedDigit() const
{
    Font f = *this;
    f.monospacedDigits_ = true;
    return f;
}

Font Font::tracking(double points) const
{
    Font f = *this;
    f.tracking_ = points;
    return f;
}

Font Font::design(FontDesign d) const
{
    Font f = *this;
    f.design_ = d;
    return f;
}

}  // namespace platform::ui
