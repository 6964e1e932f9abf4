#include "kit/StackIcons.h"

#include <QStringDecoder>
#include <QSvgRenderer>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>
#include <vector>

#include "foundation/Bundle.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

bool isPlainFileName(std::string_view id) {
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string_view::npos &&
           id.find('\0') == std::string_view::npos;
}

bool isRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return text;
}

bool isUTF8(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    (void)decoded;
    return !decoder.hasError();
}

}  // namespace

std::optional<std::string> stackIconFileURL(std::string_view id, const std::string& resourceDirectory,
                                            const std::string& executableDirectory) {
    if (!isPlainFileName(id)) return std::nullopt;
    const std::string file = std::string(id) + ".svg";
    std::vector<fs::path> candidates;
    if (!resourceDirectory.empty()) {
        candidates.push_back(fs::path(resourceDirectory) / "stack" / file);
        candidates.push_back(fs::path(resourceDirectory) / file);
    }
    if (!executableDirectory.empty()) {
        candidates.push_back((fs::path(executableDirectory) / ".." / "Resources" / "stack" / file).lexically_normal());
    }
    for (const auto& candidate : candidates) {
        if (isRegularFile(candidate)) return candidate.string();
    }
    return std::nullopt;
}

std::optional<std::string> stackIconFileURL(std::string_view id) {
    const auto bundle = platform::Bundle::main();
    return stackIconFileURL(id, bundle.resourceDirectory(), bundle.executableDirectory());
}

std::string prepareStackIconSvg(std::string_view text) {
    std::string prepared(text);
    if (prepared.find("width=") != std::string::npos) return prepared;
    static constexpr std::string_view kOpening = "<svg ";
    static constexpr std::string_view kSized = "<svg width=\"24\" height=\"24\" ";
    for (std::size_t at = prepared.find(kOpening); at != std::string::npos;
         at = prepared.find(kOpening, at + kSized.size())) {
        prepared.replace(at, kOpening.size(), kSized);
    }
    return prepared;
}

StackIconCache::StackIconCache(Locator locate) : locate_(std::move(locate)) {}

std::shared_ptr<const StackIconImage> StackIconCache::image(std::string_view id) {
    std::lock_guard lock(mutex_);
    if (auto cached = images_.find(id); cached != images_.end()) return cached->second;

    const auto path = locate_ ? locate_(id) : std::nullopt;
    if (!path) return nullptr;
    const auto text = readFile(*path);
    if (!text || !isUTF8(*text)) return nullptr;

    auto icon = std::make_shared<StackIconImage>();
    const std::string prepared = prepareStackIconSvg(*text);
    icon->svg = QByteArray(prepared.data(), static_cast<qsizetype>(prepared.size()));
    icon->renderer = std::make_shared<QSvgRenderer>(icon->svg);
    if (!icon->renderer->isValid()) return nullptr;

    images_.emplace(std::string(id), icon);
    return icon;
}

std::shared_ptr<const StackIconImage> stackIconImage(std::string_view id) {
    static StackIconCache cache([](std::string_view stack) { return stackIconFileURL(stack); });
    return cache.image(id);
}

}  // namespace tidewell
