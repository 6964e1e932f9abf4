#pragma once
// The page behind a WebView, as the web engine module makes it. Only that
// module links the engine; the application loads it when its first page is
// made, so a session that never shows one never starts the engine (nor the
// OpenGL it asks for as it loads).

#include "desktop/WebView.h"

namespace platform {

class WebPageBackend {
public:
    virtual ~WebPageBackend() = default;
    virtual void load(const std::string& url, std::chrono::milliseconds timeout) = 0;
    virtual void runJavaScript(const std::string& script) = 0;
    virtual void evaluateJavaScript(const std::string& script, std::function<void(std::string)> done) = 0;
    virtual std::optional<std::string> url() const = 0;
    virtual QWidget* widget() = 0;
    virtual void setPrefersDarkColorScheme(bool dark) = 0;
};

// The module's one entry point. The delegate outlives the page.
using MakeWebPageBackend = WebPageBackend* (*)(const WebViewConfiguration& configuration,
                                               const WebViewDelegate& delegate, bool prefersDark);
inline constexpr const char* makeWebPageBackendSymbol = "tidewell_make_web_page";

}  // namespace platform
