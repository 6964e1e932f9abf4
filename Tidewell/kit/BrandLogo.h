#pragma once

#include <QByteArray>
#include <QImage>
#include <QSizeF>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// The application's logo as shipped in the bundle: the file's bytes, whether
// it is vector art, and its natural size in points.
struct BrandLogo {
    QByteArray data;
    bool isVector = false;
    QSizeF size;
};

// Where the logo may be, in lookup order: our drawn SVG under "images/", then
// a "BrandLogo.png" at the resource root or in a "Resources" subfolder.
std::vector<std::string> brandLogoCandidates(const std::string& resourceDirectory);

// The first candidate that loads and is wider than 1 point; none otherwise.
std::shared_ptr<const BrandLogo> loadBrandLogoFrom(const std::string& resourceDirectory);

// The logo of the main bundle, loaded at most once per process; a failed
// load is not retried.
std::shared_ptr<const BrandLogo> loadBrandLogo();

// The mark's proportions: corners of 0.22 × side, and without a logo the
// "leaf.fill" symbol at 0.55 × side in the reclaim green.
inline constexpr double kBrandMarkCornerFraction = 0.22;
inline constexpr double kBrandMarkSymbolFraction = 0.55;
inline constexpr const char* kBrandMarkFallbackSymbol = "leaf.fill";
inline double brandMarkCornerRadius(double side) { return kBrandMarkCornerFraction * side; }

// The logo in a square of `side` points with rounded corners, drawn at
// `scale` pixels per point, in its own colours (the status item shows it at
// 18). None without a logo or for a side that draws nothing.
std::optional<QImage> brandMarkImage(const BrandLogo& logo, double side, double scale = 1.0);
std::optional<QImage> brandMarkImage(double side, double scale = 1.0);

}  // namespace tidewell
