#pragma once
// What the share sheet does with its card: the image at twice the card's
// size as PNG and JPEG, the file name offered when saving, the upload to the
// service, the post text and the X and LinkedIn pages that carry it, and the
// photo chosen as the card's background.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QImage>

#include "ui/Color.h"

namespace tidewell {

struct ShareCardCanvas;

enum class ShareNetwork { x, linkedIn };

inline constexpr const char* kShareDrawFailure = "Couldn’t draw the share image.";
inline constexpr const char* kShareSaveFailurePrefix = "Couldn’t save the image: ";
// The longest side a chosen photo is decoded at (it fills a 2400-pixel-wide
// card at most), and the most pixels a photo file may declare at all.
inline constexpr int kSharePhotoLongestSide = 4096;
inline constexpr std::int64_t kSharePhotoMaxPixels = 100'000'000;

// The card drawn at 2 pixels per point (2400 × 1350) in `scheme`; a null
// image when it could not be drawn.
QImage renderShareCard(const ShareCardCanvas& card, platform::ui::ColorScheme scheme);
// Encoded image bytes; none for a null image or a failed encoding.
std::optional<std::string> sharePNGData(const QImage& image);
std::optional<std::string> shareJPEGData(const QImage& image);  // quality 0.85

// "Tidewell-" + the byte count without spaces + ".png" ("Tidewell-1.5GB.png").
std::string shareImageFileName(std::uint64_t bytes);

// `text` percent-encoded as a query value: every byte outside the unreserved
// characters, so "+", "&", "=" and "#" arrive as written.
std::string percentEncodedQueryValue(const std::string& text);

// The upload's address at the service origin: api/share?heading=<heading>.
std::string shareUploadURL(const std::string& heading);
// The public address in the service's answer: status 200 whose "url" is an
// absolute http(s) address; none for every other answer.
std::optional<std::string> shareUploadedURL(int status, const std::string& body);
// Sends the JPEG (with the session token when signed in) and hands back the
// image's public address, or none on any failure. `done` runs on the main thread.
void upload(const std::string& jpeg, const std::string& heading,
            std::function<void(std::optional<std::string> imageURL)> done);

// The link of a post without an uploaded image: the public site's root with
// "?ref=share", whatever `TIDEWELL_SITE` says.
std::string fixedShareLink();
// heading + ". Found and cleared with Tidewell " + link + " #buildinpublic #devtools"
std::string sharePostText(const std::string& heading, const std::optional<std::string>& imageURL);
// X's post page with "text", or LinkedIn's feed share page with "shareActive"
// then "text".
std::string sharePostPageURL(ShareNetwork network, const std::string& text);
// What the status line says once the page is open.
std::string sharePostClosingMessage(bool uploaded);

// The heading trimmed of surrounding whitespace and newlines.
std::string trimmedShareHeading(const std::string& heading);
// The heading held to the sheet's limit of user-visible characters.
std::string limitedShareHeading(const std::string& heading);

// A picture file as the card's photo: none when it cannot be read or
// declares more than `kSharePhotoMaxPixels`; a larger one comes back with its
// longest side at `kSharePhotoLongestSide`.
std::optional<QImage> loadSharePhoto(const std::string& path);

}  // namespace tidewell
