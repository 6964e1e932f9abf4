// The web engine module: the page behind WebView, loaded by the application
// the first time a page is made.

#include "desktop/PageColorScheme.h"
#include "desktop/WebPageBackend.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QtGlobal>
#include <QPointer>
#include <QWindow>
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

#include <functional>
#include <utility>
#include <vector>

namespace platform {

namespace {

bool engineStarted = false;

// The user's own clicks and keys in the view. The engine calls a page's
// scripted navigation a followed link too, so this is what tells the user's
// doing from the page's.
class UserGestures final : public QObject {
public:
    explicit UserGestures(QWidget* view) : QObject(view) { watch(view); }

    // Whether the user clicked or pressed a key in the view within the last
    // second, and that click or key has not been used yet.
    bool available() const { return last_.isValid() && last_.elapsed() < 1000; }
    // That click or key counts for nothing more.
    void use() { last_.invalidate(); }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
            case QEvent::ChildAdded:
                // The engine makes the widget that takes the input later, inside the view.
                if (QObject* child = static_cast<QChildEvent*>(e)->child(); child->isWidgetType()) watch(child);
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: last_.start(); break;
            case QEvent::KeyPress:
                switch (static_cast<QKeyEvent*>(e)->key()) {
                    case Qt::Key_Shift:
                    case Qt::Key_Control:
                    case Qt::Key_Meta:
                    case Qt::Key_Alt:
                    case Qt::Key_AltGr:
                    case Qt::Key_Escape: break;
                    default: last_.start();
                }
                break;
            default: break;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QElapsedTimer last_;

    void watch(QObject* widget) {
        widget->installEventFilter(this);
        for (QObject* child : widget->children())
            if (child->isWidgetType()) watch(child);
    }
};

class PolicyPage final : public QWebEnginePage {
public:
    PolicyPage(QWebEngineProfile* profile, QObject* parent, const WebViewDelegate* delegate)
        : QWebEnginePage(profile, parent), delegate_(delegate) {}

    UserGestures* gestures = nullptr;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (!delegate_->decidePolicy) return true;
        WebNavigationAction action;
        if (!url.isEmpty()) action.url = url.toString(QUrl::FullyEncoded).toStdString();
        action.linkActivated = type == NavigationTypeLinkClicked;
        action.targetsMainFrame = isMainFrame;
        action.userInitiated = gestures && gestures->available();
        const bool allowed = delegate_->decidePolicy(action) == WebPolicy::allow;
        // One click or key moves the page once: the first navigation of the
        // page itself spends it, and so does any the page is not let make
        // (sending the address to the browser among them), whatever frame asks.
        if (action.userInitiated && (isMainFrame || !allowed)) gestures->use();
        if (!allowed && isMainFrame) refused = url;
        return allowed;
    }

    // A page's dialogs never show: nothing of the application may wait on
    // them. An alert is passed over, a question is declined, a prompt is
    // cancelled; a page that asks before it is left is left (the user asked
    // for the navigation, through the application).
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString& message) override { return message == leaveQuestion(); }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }

public:
    // The engine reports a start and a stop even for a navigation it was told
    // not to make; those are not loads of the page.
    QUrl refused;

private:
    const WebViewDelegate* delegate_;

    // The engine asks before-unload's question through the page's confirm,
    // in these words.
    static QString leaveQuestion() {
        return QCoreApplication::translate("QWebEnginePage",
                                           "Are you sure you want to leave this page? Changes that you made may not be saved.");
    }
};

// Schemes the engine loads itself; a navigation to any other never starts.
bool engineLoads(const QUrl& url) {
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about") ||
           scheme == QLatin1String("data");
}

// The page's own window. A widget that the GPU draws (the page) makes every
// window it sits in, for good, one that is composed through OpenGL on each
// frame it repaints: inside the main window that puts every frame of the
// dashboard's animations through (software) OpenGL for the rest of the
// session. So the page lives in a window of its own, a native child of the
// window it shows in, and that window stays a plain raster one. Behind the
// page's transparent background it paints what the window shows under it.
class PageWindow final : public QWidget {
public:
    explicit PageWindow(QWebEngineView* page) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        page->setParent(this);
        layout->addWidget(page);
    }
    void setBackdrop(const QPixmap& backdrop) {
        backdrop_ = backdrop;
        update();
    }
    // The window this one sits in, for the slot that holds it now.
    void setHost(QWindow* host, const QObject* holder) {
        holder_ = holder;
        host_ = host;
        winId();
        if (windowHandle()->parent() != host) windowHandle()->setParent(host);
    }
    // Back to a window of its own, hidden, when `holder` still holds it (the
    // window it sat in may go before the page).
    void leave(const QObject* holder) {
        if (holder_ != holder) return;
        holder_ = nullptr;
        host_ = nullptr;
        hide();
        clearMask();
        if (windowHandle() && windowHandle()->parent()) windowHandle()->setParent(nullptr);
    }
    bool isHeldBy(const QObject* holder) const { return holder_ == holder; }
    bool isHeld() const { return holder_ != nullptr; }

protected:
    bool event(QEvent* e) override {
        // Qt makes the window again when the page first draws through the GPU;
        // the new one goes back where the old one was.
        if (e->type() == QEvent::WinIdChange && windowHandle() && windowHandle()->parent() != host_)
            windowHandle()->setParent(host_);
        return QWidget::event(e);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (backdrop_.isNull()) p.fillRect(rect(), palette().window());
        else p.drawPixmap(0, 0, backdrop_);
    }

private:
    QPixmap backdrop_;
    QPointer<QWindow> host_;
    QPointer<const QObject> holder_;
};

// The page's window is a top-level widget to the toolkit but a child window
// to the display, and a child window refuses to be closed: the application's
// quit, which closes every top-level widget first, was refused while the page
// showed (Ctrl+Q did nothing on its page). The window steps aside for a quit,
// and comes back when something else refused it.
class StepsAsideForQuit final : public QObject {
public:
    explicit StepsAsideForQuit(PageWindow* window) : QObject(window), window_(window) {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::Quit || watched != QCoreApplication::instance() || !window_->isVisible()) return false;
        window_->hide();
        QTimer::singleShot(0, window_, [window = window_] {
            if (window->isHeld()) window->show();
        });
        return false;
    }

private:
    PageWindow* window_;
};

// What a view tree's slot owns: a place among the window's widgets that keeps
// the page's window over itself (same place, size and visibility) and lends
// it the pixels beneath. When the slot lets go, the page's window leaves, so
// the page outlives the view that showed it.
class PageHolder final : public QWidget {
public:
    explicit PageHolder(PageWindow* window) : window_(window) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    ~PageHolder() override { detach(); }

    // The slot sets the widget's visibility after every layout, after its frame
    // and its mask (the parts that content standing above the page cuts away):
    // the page's window takes the same shape.
    void setVisible(bool visible) override {
        QWidget::setVisible(visible);
        shape();
    }

protected:
    bool event(QEvent* e) override {
        switch (e->type()) {
            case QEvent::Show:
            case QEvent::Move:
            case QEvent::Resize:
                follow();
                place();
                break;
            case QEvent::Hide:
                if (window_ && window_->isHeldBy(this)) window_->hide();
                break;
            case QEvent::ParentChange:
                follow();
                place();
                break;
            case QEvent::Paint:
                if (grabbing_) return true;
                // The window painted what lies under the page: take it up, once
                // the painting is over (taking it paints this widget again).
                if (!backdropPending_) {
                    backdropPending_ = true;
                    QTimer::singleShot(0, this, [this] { takeBackdrop(); });
                }
                return true;
            default: break;
        }
        return QWidget::event(e);
    }

    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Move || e->type() == QEvent::Resize) place();
        if (e->type() == QEvent::ParentChange) follow();
        return QObject::eventFilter(watched, e);
    }

private:
    QPointer<PageWindow> window_;
    std::vector<QPointer<QWidget>> ancestors_;
    bool grabbing_ = false;
    bool backdropPending_ = false;

    // Keeps up with moves of the widgets this one sits in.
    void follow() {
        for (auto& a : ancestors_)
            if (a) a->removeEventFilter(this);
        ancestors_.clear();
        for (QWidget* a = parentWidget(); a; a = a->parentWidget()) {
            a->installEventFilter(this);
            ancestors_.emplace_back(a);
            if (a->isWindow()) break;
        }
    }

    void place() {
        if (!window_) return;
        QWidget* top = window();
        if (top == this || !isVisible() || !top->windowHandle()) {
            if (window_->isHeldBy(this)) window_->hide();
            return;
        }
        window_->setHost(top->windowHandle(), this);
        window_->setGeometry(QRect(mapTo(top, QPoint(0, 0)), size()));
        shape();
        if (!window_->isVisible()) {
            takeBackdrop();
            window_->show();
        }
    }

    void shape() {
        if (!window_ || !window_->isHeldBy(this) || window_->mask() == mask()) return;
        if (mask().isEmpty()) window_->clearMask();
        else window_->setMask(mask());
    }

    void detach() {
        if (!window_ || !window_->isHeldBy(this)) return;
        window_->leave(this);
    }

    void takeBackdrop() {
        backdropPending_ = false;
        QWidget* under = parentWidget();
        if (!window_ || !window_->isHeldBy(this) || !under || !isVisible() || width() < 1 || height() < 1) return;
        grabbing_ = true;
        QPixmap backdrop = under->grab(geometry());
        grabbing_ = false;
        window_->setBackdrop(backdrop);
    }
};

class EnginePage final : public WebPageBackend {
public:
    EnginePage(const WebViewConfiguration& configuration, const WebViewDelegate& delegate, bool prefersDark)
        : configuration(configuration), delegate(delegate), prefersDark(prefersDark) {}
    ~EnginePage() override {
        // Widgets can't outlive the application object: at exit the page is left to the process.
        if (window && QCoreApplication::instance()) delete window;
    }

    void load(const std::string& url, std::chrono::milliseconds limit) override {
        QWebEngineView* v = make();
        timedOut = false;
        timeout->start(int(limit.count()));
        v->load(QUrl(QString::fromStdString(url)));
    }
    void runJavaScript(const std::string& script) override { make()->page()->runJavaScript(QString::fromStdString(script)); }
    void evaluateJavaScript(const std::string& script, std::function<void(std::string)> done) override {
        make()->page()->runJavaScript(QString::fromStdString(script),
                                      [done = std::move(done)](const QVariant& value) { done(value.toString().toStdString()); });
    }
    std::optional<std::string> url() const override {
        if (!view || view->url().isEmpty()) return std::nullopt;
        return view->url().toString(QUrl::FullyEncoded).toStdString();
    }
    QWidget* widget() override {
        make();
        return new PageHolder(window);
    }
    void setPrefersDarkColorScheme(bool dark) override {
        if (dark == prefersDark) return;
        prefersDark = dark;
        if (!view) return;
        // Documents made from now on start in it; the one shown moves to it.
        followColorScheme(view->page());
        for (auto world : {QWebEngineScript::ApplicationWorld, QWebEngineScript::MainWorld})
            view->page()->runJavaScript(QString::fromStdString(pageColorSchemeChange(dark)), world);
    }

private:
    WebViewConfiguration configuration;
    const WebViewDelegate& delegate;
    bool prefersDark;
    QPointer<QWebEngineView> view;
    QPointer<PageWindow> window;
    QTimer* timeout = nullptr;
    bool timedOut = false;
    QUrl ignoring;  // a navigation that never really started

    // The scripts that keep every document of the page, its frames' included,
    // on the window's appearance: its style sheets, and what its own scripts
    // are told.
    void followColorScheme(QWebEnginePage* page) {
        for (const QWebEngineScript& old : page->scripts().find(colorSchemeScriptName)) page->scripts().remove(old);
        for (const auto& [source, world] : {std::pair{pageColorSchemeScript(prefersDark), QWebEngineScript::ApplicationWorld},
                                            std::pair{pageColorQueriesScript(prefersDark), QWebEngineScript::MainWorld}}) {
            QWebEngineScript script;
            script.setName(colorSchemeScriptName);
            script.setSourceCode(QString::fromStdString(source));
            script.setInjectionPoint(QWebEngineScript::DocumentCreation);
            script.setRunsOnSubFrames(true);
            script.setWorldId(world);
            page->scripts().insert(script);
        }
    }
    static constexpr const char* colorSchemeScriptName = "tidewell-color-scheme";

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
        followColorScheme(page);
        // Addresses of schemes the engine doesn't load itself (mailto:, tidewell:)
        // are never handed to the desktop by the engine; the delegate decides.
        page->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
        view->setPage(page);
        page->gestures = new UserGestures(view);
        window = new PageWindow(view);
        new StepsAsideForQuit(window);
        // The engine lets go of its profiles when the application object goes;
        // a page still alive then is a page it warns about. Pages go first.
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, QCoreApplication::instance(),
                         [w = QPointer<PageWindow>(window)] { delete w.data(); });
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
        QObject::connect(page, &QWebEnginePage::newWindowRequested, view, [this, page](QWebEngineNewWindowRequest& request) {
            WebNavigationAction action;
            if (!request.requestedUrl().isEmpty()) action.url = request.requestedUrl().toString(QUrl::FullyEncoded).toStdString();
            // A new window spends the user's click or key as a navigation does.
            action.userInitiated = request.isUserInitiated() && page->gestures->available();
            if (action.userInitiated) page->gestures->use();
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
