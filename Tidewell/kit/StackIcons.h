#pragma once

#include <QByteArray>
#include <QSizeF>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class QSvgRenderer;

namespace tidewell {

// A stack's vector icon, ready to draw: the SVG document as prepared for
// drawing and its nominal size of 24 by 24 points, in its own colours.
struct StackIconImage {
    QByteArray svg;
    QSizeF size{24, 24};
    std::shared_ptr<QSvgRenderer> renderer;
};

// The icon file of a stack id inside a resource folder ("stack/<id>.svg",
// then "<id>.svg"), then beside the executable ("../Resources/stack/<id>.svg").
// Ids that are not a plain file name (empty, ".", "..", containing "/") have
// no file, so an id can never reach outside the icon folder.
std::optional<std::string> stackIconFileURL(std::string_view id, const std::string& resourceDirectory,
                                            const std::string& executableDirectory);
// The same in the main bundle.
std::optional<std::string> stackIconFileURL(std::string_view id);

// The SVG text as drawn: a document that says nothing of its width anywhere
// gets width="24" height="24" on every opening <svg tag; any other is unchanged.
std::string prepareStackIconSvg(std::string_view text);

// Loads icons once per stack id and keeps them; a failure is not kept, so the
// next request looks again.
class StackIconCache {
public:
    using Locator = std::function<std::optional<std::string>(std::string_view id)>;
    explicit StackIconCache(Locator locate);

    // None when there is no file, it can't be read, isn't UTF-8 or isn't an SVG.
    std::shared_ptr<const StackIconImage> image(std::string_view id);

private:
    Locator locate_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const StackIconImage>, std::less<>> images_;
};

// The process-wide cache over the main bundle.
std::shared_ptr<const StackIconImage> stackIconImage(std::string_view id);

}  // namespace tidewell
