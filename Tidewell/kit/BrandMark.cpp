#include "kit/BrandMark.h"

#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View BrandMark(double size) { return BrandMark(size, loadBrandLogo()); }

ui::View BrandMark(double size, const std::shared_ptr<const BrandLogo>& logo) {
    ui::View content;
    if (logo) {
        content = logo->isVector ? ui::Image::svgData(logo->data, "brand-logo").resizable()
                                 : ui::Image::bitmap(QImage::fromData(logo->data)).resizable();
    } else {
        content = ui::Image::systemName(kBrandMarkFallbackSymbol)
                      .font(ui::Font::system(kBrandMarkSymbolFraction * size, ui::FontWeight::semibold))
                      .foregroundStyle(Theme::reclaim());
    }
    return content.frame(size, size)
        .clipShape(ui::RoundedRectangle(brandMarkCornerRadius(size), ui::RoundedCornerStyle::continuous))
        .accessibilityHidden(true);
}

}  // namespace tidewell
