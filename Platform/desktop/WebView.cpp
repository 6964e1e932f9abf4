#include "desktop/WebView.h"

#include "desktop/WebPageBackend.h"
#include "foundation/Bundle.h"
#include "foundation/Log.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QOpenGLContext>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <filesystem>

// Qt's own setter of the context every GL context shares with. The web engine
// takes it from the application's start when linked in; loaded later, it
// needs it made before it loads.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace platform {

namespace {

void shareGLContext() {
    if (QOpenGLContext::globalShareContext()) return;
    auto* context = new QOpenGLContext(QCoreApplication::instance());
    context->setFormat(QSurfaceFormat::defaultFormat());
    if (!context->create()) log("Web view: no OpenGL context to share; pages render in software");
    qt_gl_set_global_share_context(context);
}

// The module beside the bundle's executables, else where this build put it.
MakeWebPageBackend engineModule() {
    static const MakeWebPageBackend make = []() -> MakeWebPageBackend {
        std::vector<std::string> places;
        if (const std::string bin = Bundle::main().executableDirectory(); !bin.empty())
            places.push_back((std::filesystem::path(bin) / ".." / "lib" / TIDEWELL_WEBENGINE_MODULE_NAME).string());
        places.push_back(TIDEWELL_WEBENGINE_MODULE_PATH);
        shareGLContext();
        QString error;
        for (const std::string& place : places) {
            QLibrary module(QString::fromStdString(place));
            if (auto found = reinterpret_cast<MakeWebPageBackend>(module.resolve(makeWebPageBackendSymbol))) return found;
            if (error.isEmpty()) error = module.errorString();
        }
        log("Web view: the web engine module does not load: %@", error.toStdString());
        return nullptr;
    }();
    return make;
}

}  // namespace

struct WebView::Impl {
    WebViewConfiguration configuration;
    WebViewDelegate delegate;
    std::unique_ptr<WebPageBackend> page;
    bool tried = false;
    bool prefersDark = false;
    std::shared_ptr<int> alive = std::make_shared<int>(0);  // for replies after the call

    WebPageBackend* backend() {
        if (!std::exchange(tried, true))
            if (MakeWebPageBackend make = engineModule()) page.reset(make(configuration, delegate, prefersDark));
        return page.get();
    }
};

WebView::WebView(WebViewConfiguration configuration, WebViewDelegate delegate) : impl_(std::make_unique<Impl>()) {
    impl_->configuration = std::move(configuration);
    impl_->delegate = std::move(delegate);
}

WebView::~WebView() = default;

void WebView::load(const std::string& url, std::chrono::milliseconds timeout) {
    if (WebPageBackend* page = impl_->backend()) return page->load(url, timeout);
    // Without the engine every load fails, as a page that can't be reached
    // does: reported after the call returns, like any other failure.
    QTimer::singleShot(0, QCoreApplication::instance(), [impl = impl_.get(), alive = std::weak_ptr<int>(impl_->alive)] {
        if (!alive.expired() && impl->delegate.didFailNavigation) impl->delegate.didFailNavigation(-1);
    });
}

void WebView::runJavaScript(const std::string& script) {
    if (WebPageBackend* page = impl_->backend()) page->runJavaScript(script);
}

void WebView::evaluateJavaScript(const std::string& script, std::function<void(std::string)> done) {
    if (WebPageBackend* page = impl_->backend()) page->evaluateJavaScript(script, std::move(done));
}

std::optional<std::string> WebView::url() const {
    return impl_->page ? impl_->page->url() : std::nullopt;
}

QWidget* WebView::widget() {
    if (WebPageBackend* page = impl_->backend()) return page->widget();
    return new QWidget;
}

void WebView::setPrefersDarkColorScheme(bool dark) {
    impl_->prefersDark = dark;
    if (impl_->page) impl_->page->setPrefersDarkColorScheme(dark);
}

void WebView::prepareProcess() {
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

}  // namespace platform
