// The web engine module: the page behind WebView, loaded by the application
// the first time a page is made.

#include "desktop/WebPageBackend.h"

#include <QCoreApplication>
#include <QtGlobal>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <utility>

namespace platform {

namespace {

bool engineStarted = false;

class PolicyPage final : public QWebEnginePage {
public:
    PolicyPage(QWebEngineProfile* profile, QObject* parent, const WebViewDelegate* delegate)
        : QWebEnginePage(profile, parent), delegate_(delegate) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!delegate_->decidePolicy) return true;
        WebNavigationAction action;
        if (!url.isEmpty()) action.url = url.toString(QUrl::FullyEncoded).toStdString();
        action.linkActivated = type == NavigationTypeLinkClicked;
        action.targetsMainFrame = isMainFrame;
        const bool allowed = delegate_->decidePolicy(action) == WebPolicy::allow;
        if (!allowed && isMainFrame) refused = url;
        return allowed;
    }

public:
    // The engine reports a start and a stop even for a navigation it was told
    // not to make; those are not loads of the page.
    QUrl refused;

private:
    const WebViewDelegate* delegate_;
};

// Schemes the engine loads itself; a navigation to any other never starts.
bool engineLoads(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about") ||
           scheme == QLatin1String("data");
}

// What a view tree's slot owns: a frame around the page that hands the page
// back when the slot lets go, so the page outlives the view that showed it.
class PageHolder final : public QWidget {
public:
    explicit PageHolder(QWebEngineView* page) : page_(page) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        page->setParent(this);
        layout->addWidget(page);
        page->show();
        setAttribute(Qt::WA_TranslucentBackground);
    }
    ~PageHolder() override {
        if (!page_ || page_->parent() != this) return;
        page_->hide();
        page_->setParent(nullptr);
    }

private:
    QPointer<QWebEngineView> page_;
};


class EnginePage final : public WebPageBackend {
public:
    EnginePage(const WebViewConfiguration& configuration, const WebViewDelegate& delegate, bool prefersDark)
        : configuration(configuration), delegate(delegate), prefersDark(prefersDark) {}
    ~EnginePage() override {
        // Widgets can't outlive the application object: at exit the page is left to the process.
        if (view && QCoreApplication::instance()) delete view;
    }

    void load(const std::string& url, std::chrono::milliseconds limit) override {
        QWebEngineView* v = make();
        timedOut = false;
        timeout->start(int(limit.count()));
        v->load(QUrl(QString::fromStdString(url)));
    }
    void runJavaScript(const std::string& script) override { make()->page()->runJavaScript(QString::fromStdString(script)); }
    std::optional<std::string> url() const override {
        if (!view || view->url().isEmpty()) return std::nullopt;
        return view->url().toString(QUrl::FullyEncoded).toStdString();
    }
    QWidget* widget() override { return new PageHolder(make()); }

private:
    WebViewConfiguration configuration;
    const WebViewDelegate& delegate;
    bool prefersDark;
    QPointer<QWebEngineView> view;
    QTimer* timeout = nullptr;
    bool timedOut = false;
    QUrl ignoring;  // a navigation that never really started

    QWebEngineView* make() {
        if (view) return view;
        if (!std::exchange(engineStarted, true) && prefersDark) {
            QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags + (flags.isEmpty() ? "" : " ") + "--force-dark-mode");
        }
        // An off-the-record profile: nothing of the page is kept on disk. It
        // belongs to the page, so it goes after the page is done with it.
        auto* profile = new QWebEngineProfile();
        view = new QWebEngineView();
        auto* page = new PolicyPage(profile, view, &delegate);
        profile->setParent(page);
        page->setBackgroundColor(Qt::transparent);
        if (!configuration.documentStartScript.empty()) {
            QWebEngineScript script;
            script.setName("tidewell-style");
            script.setSourceCode(QString::fromStdString(configuration.documentStartScript));
            script.setInjectionPoint(QWebEngineScript::DocumentCreation);
            script.setRunsOnSubFrames(false);
            script.setWorldId(QWebEngineScript::MainWorld);
            page->scripts().insert(script);
        }
        // Addresses of schemes the engine doesn't load itself (mailto:, tidewell:)
        // are never handed to the desktop by the engine; the delegate decides.
        page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
        view->setPage(page);
        // The engine lets go of its profiles when the application object goes;
        // a page still alive then is a page it warns about. Pages go first.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, QCoreApplication::instance(),
                         [v = QPointer<QWebEngineView>(view)] { delete v.data(); });
        view->setAttribute(Qt::WA_TranslucentBackground);
        view->setStyleSheet("background: transparent");
        view->setAccessibleName(QString::fromStdString(configuration.accessibilityIdentifier));
        view->setObjectName(QString::fromStdString(configuration.accessibilityIdentifier));
        timeout = new QTimer(view);
        timeout->setSingleShot(true);
        QObject::connect(timeout, &QTimer::timeout, view, [this, page] {
            timedOut = true;
            page->triggerAction(QWebEnginePage::Stop);
        });
        QObject::connect(page, &QWebEnginePage::loadingChanged, view, [this, page](const QWebEngineLoadingInfo& info) {
            if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
                ignoring = info.url() == page->refused || !engineLoads(info.url()) ? info.url() : QUrl();
                page->refused.clear();
                if (!ignoring.isEmpty()) return;
            } else if (!ignoring.isEmpty() && info.url() == ignoring) {
                ignoring.clear();
                return;
            }
            switch (info.status()) {
                case QWebEngineLoadingInfo::LoadStartedStatus:
                    if (delegate.didStartNavigation) delegate.didStartNavigation();
                    break;
                case QWebEngineLoadingInfo::LoadSucceededStatus:
                    timeout->stop();
                    if (delegate.didFinishNavigation) delegate.didFinishNavigation();
                    break;
                case QWebEngineLoadingInfo::LoadStoppedStatus:
                    // A stop forced by the time-out is a failure; any other stop a cancellation.
                    if (delegate.didFailNavigation) delegate.didFailNavigation(timedOut ? -1001 : webLoadCancelledCode);
                    timedOut = false;
                    timeout->stop();
                    break;
                case QWebEngineLoadingInfo::LoadFailedStatus:
                    timeout->stop();
                    // The page of an HTTP error status still shows, as a finished load.
                    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
                        if (delegate.didFinishNavigation) delegate.didFinishNavigation();
                    } else if (delegate.didFailNavigation) {
                        delegate.didFailNavigation(info.errorCode() == 0 ? -1 : info.errorCode());
                    }
                    break;
            }
        });
        QObject::connect(page, &QWebEnginePage::newWindowRequested, view, [this](QWebEngineNewWindowRequest& request) {
            WebNavigationAction action;
            if (!request.requestedUrl().isEmpty()) action.url = request.requestedUrl().toString(QUrl::FullyEncoded).toStdString();
            action.linkActivated = request.isUserInitiated();
            if (delegate.newWindowRequested) delegate.newWindowRequested(action);
        });
        return view;
    }
};

}  // namespace

}  // namespace platform

extern "C" Q_DECL_EXPORT platform::WebPageBackend* tidewell_make_web_page(const platform::WebViewConfiguration& configuration,
                                                                      const platform::WebViewDelegate& delegate,
                                                                      bool prefersDark) {
    return new platform::EnginePage(configuration, delegate, prefersDark);
}
