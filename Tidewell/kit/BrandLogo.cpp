#include "kit/BrandLogo.h"

#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <cmath>
#include <filesystem>

#include "foundation/Bundle.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<const BrandLogo> loadFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    auto logo = std::make_shared<BrandLogo>();
    logo->data = file.readAll();
    logo->isVector = path.ends_with(".svg");
    if (logo->isVector) {
        QSvgRenderer renderer(logo->data);
        if (!renderer.isValid()) return nullptr;
        logo->size = renderer.defaultSize();
    } else {
        const QImage image = QImage::fromData(logo->data);
        if (image.isNull()) return nullptr;
        logo->size = QSizeF(image.size()) / image.devicePixelRatio();
    }
    // A logo one point wide or less is as good as none.
    if (!(logo->size.width() > 1)) return nullptr;
    return logo;
}

}  // namespace

std::vector<std::string> brandLogoCandidates(const std::string& resourceDirectory) {
    if (resourceDirectory.empty()) return {};
    const fs::path resources(resourceDirectory);
    return {(resources / "images" / "BrandLogo.svg").string(),
            (resources / "images" / "BrandLogo.png").string(),
            (resources / "BrandLogo.png").string(),
            (resources / "Resources" / "BrandLogo.png").string()};
}

std::shared_ptr<const BrandLogo> loadBrandLogoFrom(const std::string& resourceDirectory) {
    for (const auto& candidate : brandLogoCandidates(resourceDirectory)) {
        std::error_code error;
        if (!fs::is_regular_file(candidate, error)) continue;
        if (auto logo = loadFile(candidate)) return logo;
    }
    return nullptr;
}

std::shared_ptr<const BrandLogo> loadBrandLogo() {
    static const std::shared_ptr<const BrandLogo> logo =
        loadBrandLogoFrom(platform::Bundle::main().resourceDirectory());
    return logo;
}

std::optional<QImage> brandMarkImage(const BrandLogo& logo, double side, double scale) {
    if (!(side > 0) || !(scale > 0) || !std::isfinite(side * scale)) return std::nullopt;
    const int pixels = static_cast<int>(std::lround(side * scale));
    if (pixels <= 0 || pixels > 4096) return std::nullopt;

    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF rect(0, 0, pixels, pixels);
    const double radius = brandMarkCornerRadius(side) * scale;
    QPainterPath clip;
    clip.addRoundedRect(rect, radius, radius);
    painter.setClipPath(clip);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (logo.isVector) {
        QSvgRenderer renderer(logo.data);
        renderer.render(&painter, rect);
    } else {
        painter.drawImage(rect, QImage::fromData(logo.data));
    }
    painter.end();
    image.setDevicePixelRatio(scale);
    return image;
}

std::optional<QImage> brandMarkImage(double side, double scale) {
    const auto logo = loadBrandLogo();
    if (!logo) return std::nullopt;
    return brandMarkImage(*logo, side, scale);
}

}  // namespace tidewell
