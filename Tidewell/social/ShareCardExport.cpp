#include "social/ShareCardExport.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QUrl>

#include <nlohmann/json.hpp>

#include "desktop/HttpClient.h"
#include "desktop/OpenPanel.h"
#include "desktop/Workspace.h"
#include "foundation/Formatters.h"
#include "social/ServiceOrigin.h"
#include "social/ShareCardCanvas.h"
#include "social/ShareCardSheet.h"
#include "ui/Characters.h"
#include "ui/ViewHost.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

std::optional<std::string> encode(const QImage& image, const char* format, int quality) {
    if (image.isNull()) return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality) || bytes.isEmpty()) return std::nullopt;
    return bytes.toStdString();
}

}  // namespace

QImage renderShareCard(const ShareCardCanvas& card, ui::ColorScheme scheme) {
    ui::EnvironmentValues env;
    env.colorScheme = scheme;
    return ui::renderToImage(card.body(), {kShareCardWidth, kShareCardHeight}, 2, env);
}

// The card is opaque, so both formats are written without an alpha channel.
std::optional<std::string> sharePNGData(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    // zlib's fastest level: a card is written in a blink for a few more kilobytes.
    return encode(image.convertToFormat(QImage::Format_RGB32), "PNG", 80);
}

std::optional<std::string> shareJPEGData(const QImage& image) {
    if (image.isNull()) return std::nullopt;
    return encode(image.convertToFormat(QImage::Format_RGB32), "JPEG", 85);
}

std::string shareImageFileName(std::uint64_t bytes) {
    std::string size = platform::formatByteCount(bytes);
    std::erase(size, ' ');
    return "Tidewell-" + size + ".png";
}

std::string percentEncodedQueryValue(const std::string& text) {
    return QUrl::toPercentEncoding(QString::fromStdString(text)).toStdString();
}

std::string shareUploadURL(const std::string& heading) {
    return appendingPath(serviceOrigin(), "api/share") + "?heading=" + percentEncodedQueryValue(heading);
}

std::optional<std::string> shareUploadedURL(int status, const std::string& body) {
    if (status != 200) return std::nullopt;
    const auto reply = nlohmann::json::parse(body, nullptr, false);
    if (!reply.is_object() || !reply.contains("url") || !reply["url"].is_string()) return std::nullopt;
    const std::string text = reply["url"].get<std::string>();
    // The address goes into a post anyone may open: a web address only.
    if (!platform::isBrowserURL(text) || !QUrl(QString::fromStdString(text), QUrl::StrictMode).isValid()) return std::nullopt;
    return text;
}

void upload(const std::string& jpeg, const std::string& heading,
            std::function<void(std::optional<std::string>)> done) {
    readSessionToken([jpeg, heading, done = std::move(done)](std::optional<std::string> token) mutable {
        platform::HttpRequest request;
        request.method = "POST";
        request.url = shareUploadURL(heading);
        request.headers = {{"Content-Type", "image/jpeg"}};
        if (token) request.headers.emplace_back("Authorization", "Bearer " + *token);
        request.body = jpeg;
        request.timeout = std::chrono::seconds(20);
        platform::HttpClient::shared().send(std::move(request), [done = std::move(done)](platform::HttpResponse response) {
            if (response.failure != platform::HttpFailure::none) return done(std::nullopt);
            done(shareUploadedURL(response.status, response.body));
        });
    });
}

std::string fixedShareLink() { return std::string("https://") + builtInServiceHost + "/?ref=share"; }

std::string sharePostText(const std::string& heading, const std::optional<std::string>& imageURL) {
    return heading + ". Found and cleared with Tidewell " + imageURL.value_or(fixedShareLink()) + " #buildinpublic #devtools";
}

std::string sharePostPageURL(ShareNetwork network, const std::string& text) {
    const std::string value = percentEncodedQueryValue(text);
    switch (network) {
        case ShareNetwork::x: return "https://x.com/intent/post?text=" + value;
        case ShareNetwork::linkedIn: return "https://www.linkedin.com/feed/?shareActive=true&text=" + value;
    }
    return {};
}

std::string sharePostClosingMessage(bool uploaded) {
    return uploaded ? "Post opened in your browser. Press Ctrl+V there to attach the image, then post."
                    : "Post opened in your browser. Press Ctrl+V there to attach the copied image.";
}

std::string trimmedShareHeading(const std::string& heading) {
    return QString::fromStdString(heading).trimmed().toStdString();
}

std::string limitedShareHeading(const std::string& heading) {
    if (ui::characterCount(heading) <= ShareCardSheetState::headingLimit) return heading;
    return ui::prefixCharacters(heading, ShareCardSheetState::headingLimit);
}

std::optional<QImage> loadSharePhoto(const std::string& path) {
    const auto file = platform::openPictureFile(path);
    if (!file) return std::nullopt;
    QImageReader reader(file.get());
    reader.setAutoTransform(true);
    // The header's size decides before any pixel is decoded, so a file that
    // claims a vast picture is refused instead of exhausting memory.
    const QSize size = reader.size();
    if (size.isValid()) {
        if (std::int64_t(size.width()) * size.height() > kSharePhotoMaxPixels) return std::nullopt;
        const int longest = std::max(size.width(), size.height());
        if (longest > kSharePhotoLongestSide)
            reader.setScaledSize(size.scaled(kSharePhotoLongestSide, kSharePhotoLongestSide, Qt::KeepAspectRatio));
    }
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return image;
}

}  // namespace tidewell
