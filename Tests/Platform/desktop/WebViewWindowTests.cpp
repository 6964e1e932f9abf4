// The web page in a real X11 window (Xvfb): it draws in a native window of
// its own over its slot, so the window around it stays a plain raster window
// whose frames never go through OpenGL, and what lies under the slot shows
// through the page's transparent background.

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop/WebView.h"

namespace {

// A window that paints itself red: the colour the page must show through.
class RedWindow final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(200, 0, 0)); }
};

// Serves one page, whatever is asked.
class PageServer {
public:
    explicit PageServer(std::string html) : html_(std::move(html)) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n")) return;
                    socket->write(("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                                   std::to_string(html_.size()) + "\r\n\r\n" + html_)
                                      .c_str());
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/"; }
    std::string html_;

private:
    QTcpServer server_;
};

bool processUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The native windows that sit inside `parent`.
std::vector<QWindow*> childWindows(QWindow* parent) {
    std::vector<QWindow*> found;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->parent() == parent) found.push_back(w);
    return found;
}

// Shows `main` at w × h with the page's slot over all of it; the slot, or none when the
// window never showed.
QWidget* showFillingWindow(RedWindow& main, platform::WebView& page, int w, int h) {
    main.resize(w, h);
    main.show();
    if (!processUntil([&] { return main.windowHandle() && main.windowHandle()->isExposed(); })) return nullptr;
    QWidget* slot = page.widget();
    slot->setParent(&main);
    slot->setGeometry(0, 0, w, h);
    slot->show();
    return slot;
}

TEST(WebViewWindowTest, ThePageDrawsInAWindowOfItsOwnAndTheWindowAroundItStaysRaster) {
    bool finished = false;
    platform::WebViewDelegate delegate;
    delegate.didFinishNavigation = [&] { finished = true; };
    platform::WebView page({"", "test.webView"}, delegate);

    RedWindow main;
    main.resize(600, 400);
    main.show();
    ASSERT_TRUE(processUntil([&] { return main.windowHandle() && main.windowHandle()->isExposed(); }));
    const WId before = main.winId();

    QWidget* slot = page.widget();
    slot->setParent(&main);
    slot->setGeometry(100, 60, 300, 200);
    PageServer server("<html><body style='background:transparent'></body></html>");
    page.load(server.url());
    ASSERT_TRUE(processUntil([&] { return finished; }));
    slot->show();

    // The page's window sits in the window, over the slot, and what the screen
    // shows there is the window's red, through the page.
    const auto pixel = [&](int x, int y) { return QColor(main.screen()->grabWindow(main.winId(), x, y, 1, 1).toImage().pixel(0, 0)); };
    const auto ownWindow = [&]() -> QWindow* {
        const auto inside = childWindows(main.windowHandle());
        return inside.size() == 1 && inside.front()->isVisible() ? inside.front() : nullptr;
    };
    EXPECT_TRUE(processUntil([&] { return ownWindow() && pixel(250, 160) == QColor(200, 0, 0); }));
    ASSERT_EQ(childWindows(main.windowHandle()).size(), 1u);
    QWindow* own = childWindows(main.windowHandle()).front();
    EXPECT_TRUE(own->isVisible());
    EXPECT_EQ(own->geometry(), QRect(100, 60, 300, 200));
    EXPECT_EQ(pixel(250, 160), QColor(200, 0, 0));

    // The page itself draws over that red.
    finished = false;
    server.html_ = "<html><body><div style='position:fixed;left:0;top:0;right:0;bottom:0;background:rgb(0,0,200)'></div></body></html>";
    page.load(server.url() + "blue");
    ASSERT_TRUE(processUntil([&] { return finished; }));
    EXPECT_TRUE(processUntil([&] { return pixel(150, 100) == QColor(0, 0, 200); })) << "shows " << pixel(150, 100).name().toStdString();
    // The page has drawn through the GPU: the window around it was neither
    // turned into an OpenGL window nor made again.
    EXPECT_EQ(main.windowHandle()->surfaceType(), QSurface::RasterSurface);
    EXPECT_EQ(main.winId(), before);

    // Content standing above the page cuts a hole out of the slot: the window shows through it.
    slot->setMask(QRegion(0, 0, 300, 200) - QRegion(40, 30, 20, 20));
    slot->setVisible(true);
    EXPECT_TRUE(processUntil([&] { return pixel(150, 100) == QColor(200, 0, 0); })) << "shows " << pixel(150, 100).name().toStdString();
    EXPECT_EQ(pixel(200, 150), QColor(0, 0, 200));
    slot->clearMask();
    slot->setVisible(true);
    EXPECT_TRUE(processUntil([&] { return pixel(150, 100) == QColor(0, 0, 200); }));

    // The slot moves and hides; the page's window follows.
    slot->move(40, 30);
    EXPECT_TRUE(processUntil([&] { return own->geometry() == QRect(40, 30, 300, 200); }));
    slot->hide();
    EXPECT_TRUE(processUntil([&] { return !own->isVisible(); }));

    // The slot goes; the page stays for the next one, which shows it again.
    delete slot;
    EXPECT_TRUE(processUntil([&] { return childWindows(main.windowHandle()).empty(); }));
    EXPECT_FALSE(own->isVisible());
    QWidget* again = page.widget();
    again->setParent(&main);
    again->setGeometry(10, 10, 200, 100);
    again->show();
    EXPECT_TRUE(processUntil([&] { return ownWindow() != nullptr; }));
    ASSERT_EQ(childWindows(main.windowHandle()).size(), 1u);
    EXPECT_TRUE(childWindows(main.windowHandle()).front()->isVisible());
    EXPECT_EQ(main.windowHandle()->surfaceType(), QSurface::RasterSurface);
    delete again;
}

// The page's own colour-scheme rules follow the page's appearance whatever
// the engine's own, which it fixes when it starts: this test runs once in an
// engine started light and once in one started dark.
TEST(WebViewWindowTest, ThePagesColourSchemeRulesFollowItsAppearanceWhateverTheEngines) {
    const bool engineDark = qEnvironmentVariableIsSet("TIDEWELL_TEST_ENGINE_DARK");
    bool finished = false;
    platform::WebViewDelegate delegate;
    delegate.didFinishNavigation = [&] { finished = true; };
    platform::WebView page({"", "test.webView"}, delegate);
    page.setPrefersDarkColorScheme(engineDark);

    RedWindow main;
    QWidget* slot = showFillingWindow(main, page, 400, 400);
    ASSERT_TRUE(slot);
    // Green in light, blue in dark: a rule of the page, one inside a group,
    // one on a sheet's own media, and one of a sheet the page adds later.
    PageServer server(
        "<html><head><style>:root { --top: rgb(200, 0, 0); } #middle { background: rgb(0, 150, 0); }"
        "@media (prefers-color-scheme: light) { :root { --top: rgb(0, 150, 0); } }"
        "@supports (display: block) { @media screen and (prefers-color-scheme: dark) { :root { --top: rgb(0, 0, 200); } } }"
        "</style><style media=\"(prefers-color-scheme: dark)\">#middle { background: rgb(0, 0, 200); }</style></head>"
        "<body style=\"margin:0\"><div style=\"height:100px;background:var(--top)\"></div>"
        "<div id=\"middle\" style=\"height:100px\"></div><div id=\"late\" style=\"height:100px\"></div>"
        // The engine's own preference, which no rule of the page decides: the system colours of "light dark".
        "<div style=\"height:100px;color-scheme:light dark;background:Canvas\"></div>"
        // And what the page's own scripts are told.
        "<script>const asked = matchMedia('(prefers-color-scheme: dark)'); let told = 0, handled = 0;"
        " asked.addEventListener('change', e => { if (e.matches === asked.matches) ++told; });"
        " asked.onchange = () => ++handled;</script>"
        "<script>setTimeout(() => { const s = document.createElement('style'); s.textContent ="
        " '#late { background: rgb(0, 150, 0); } @media not all and (prefers-color-scheme: light) { #late { background: rgb(0, 0, 200); } }';"
        " document.head.appendChild(s); }, 50);</script></body></html>");
    page.load(server.url());
    ASSERT_TRUE(processUntil([&] { return finished; }));

    const auto pixel = [&](int x, int y) { return QColor(main.screen()->grabWindow(main.winId(), x, y, 1, 1).toImage().pixel(0, 0)); };
    EXPECT_TRUE(processUntil([&] { return pixel(200, 350).lightness() == (engineDark ? 18 : 255); }))
        << "the engine started in the first page's appearance: " << pixel(200, 350).name().toStdString();
    const auto reads = [&](bool dark) {
        const QColor want = dark ? QColor(0, 0, 200) : QColor(0, 150, 0);
        return processUntil([&] { return pixel(200, 50) == want && pixel(200, 150) == want && pixel(200, 250) == want; });
    };
    const auto told = [&] {
        std::optional<std::string> answer;
        page.evaluateJavaScript("[asked.matches, matchMedia('(prefers-color-scheme: light)').matches, told, handled,"
                                " asked instanceof MediaQueryList, asked.media].join(' ')",
                                [&](std::string v) { answer = std::move(v); });
        processUntil([&] { return answer.has_value(); });
        return answer.value_or("");
    };
    int switches = 0;
    for (bool dark : {engineDark, !engineDark, engineDark, !engineDark}) {
        switches += dark != engineDark || switches > 0;
        page.setPrefersDarkColorScheme(dark);
        EXPECT_TRUE(reads(dark)) << (dark ? "dark: " : "light: ") << pixel(200, 50).name().toStdString() << " "
                                 << pixel(200, 150).name().toStdString() << " " << pixel(200, 250).name().toStdString();
        const std::string count = std::to_string(switches);
        EXPECT_EQ(told(), std::string(dark ? "true false " : "false true ") + count + " " + count +
                              " true (prefers-color-scheme: dark)");
    }
    // The system colours stay the engine's.
    EXPECT_EQ(pixel(200, 350).lightness(), engineDark ? 18 : 255);
    // A reload opens the page in the appearance it has now.
    finished = false;
    page.load(server.url() + "again");
    ASSERT_TRUE(processUntil([&] { return finished; }));
    EXPECT_TRUE(reads(!engineDark));
    delete slot;
}

// In the page's window the user's click counts as theirs for about a second
// and no more: what the page does at once on a click is the user's doing,
// what it does a second and a half later is not. A navigation the delegate
// refuses reports no load that started.
TEST(WebViewWindowTest, AClickCountsAsTheUsersForAboutASecondAndARefusedNavigationStartsNoLoad) {
    std::vector<std::pair<std::string, bool>> asked;  // each navigation's address, and whether it is the user's
    int started = 0, finished = 0;
    platform::WebViewDelegate delegate;
    delegate.decidePolicy = [&](const platform::WebNavigationAction& action) {
        asked.emplace_back(action.url.value_or(""), action.userInitiated);
        return asked.back().first.find("/away") == std::string::npos ? platform::WebPolicy::allow : platform::WebPolicy::cancel;
    };
    delegate.didStartNavigation = [&] { ++started; };
    delegate.didFinishNavigation = [&] { ++finished; };
    platform::WebView page({"", "click.webView"}, delegate);

    RedWindow main;
    QWidget* slot = showFillingWindow(main, page, 400, 300);
    ASSERT_TRUE(slot);
    // The first click leaves at once, the second a second and a half after
    // it; the third sends the page's frame away.
    PageServer server("<html><body style=\"margin:0\"><div style=\"position:fixed;inset:0\">page</div>"
                      "<iframe style=\"display:none\"></iframe><script>let clicks = 0;"
                      "addEventListener('click', () => { const away = '/away' + ++clicks;"
                      " if (clicks == 1) location.href = away; else if (clicks == 3) document.querySelector('iframe').src = away;"
                      " else setTimeout(() => { location.href = away; }, 1500); });"
                      "</script></body></html>");
    page.load(server.url());
    ASSERT_TRUE(processUntil([&] { return finished == 1; }));
    // The engine drops input until the page has painted its first content.
    const auto evaluate = [&](const std::string& script) {
        std::optional<std::string> answer;
        page.evaluateJavaScript(script, [&](std::string v) { answer = std::move(v); });
        processUntil([&] { return answer.has_value(); });
        return answer.value_or("");
    };
    ASSERT_TRUE(processUntil([&] { return evaluate("performance.getEntriesByName('first-contentful-paint').length") == "1"; }));
    QWidget* input = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == "click.webView") input = w->focusProxy();
    ASSERT_TRUE(input);
    const auto click = [&] {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, QPointF(200, 150), input->mapToGlobal(QPointF(200, 150)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(input, &e);
        }
    };
    // Whether the navigation to `path` was taken as the user's, once it was asked for.
    const auto decided = [&](const std::string& path) -> std::optional<bool> {
        for (const auto& [url, user] : asked)
            if (url == server.url() + path) return user;
        return std::nullopt;
    };
    click();
    ASSERT_TRUE(processUntil([&] { return decided("away1").has_value(); }));
    EXPECT_EQ(decided("away1"), true);
    click();
    ASSERT_TRUE(processUntil([&] { return decided("away2").has_value(); }));
    EXPECT_EQ(decided("away2"), false) << "a click still counted a second and a half later";

    // A refused navigation of a frame spends the click too: the page's own
    // navigation right after it is not the user's.
    click();
    ASSERT_TRUE(processUntil([&] { return decided("away3").has_value(); }));
    EXPECT_EQ(decided("away3"), true);
    page.runJavaScript("location.href = '/away4'");
    ASSERT_TRUE(processUntil([&] { return decided("away4").has_value(); }));
    EXPECT_EQ(decided("away4"), false) << "the click that sent the frame away moved the page as well";

    // The page answers after the engine has told what it tells of the refused navigations.
    EXPECT_EQ(evaluate("location.pathname"), "/");
    EXPECT_EQ(started, 1) << "the refused navigations reported loads that started";
    EXPECT_EQ(finished, 1);
    delete slot;
}

// A page on screen never holds the application back from quitting: the
// window it draws in is a top-level widget to the toolkit but a child window
// of the display, which refuses to be closed, and with it every quit (Ctrl+Q
// did nothing on the leaderboard page). Last in this file: the quit it lets
// through ends the test's windows.
TEST(WebViewWindowTest, AShownPageLetsTheApplicationQuit) {
    int finished = 0;
    platform::WebViewDelegate delegate;
    delegate.didFinishNavigation = [&] { ++finished; };
    platform::WebView page({"", "quit.webView"}, delegate);
    RedWindow main;
    QWidget* slot = showFillingWindow(main, page, 400, 300);
    ASSERT_TRUE(slot);
    PageServer server("<html><body>page</body></html>");
    page.load(server.url());
    ASSERT_TRUE(processUntil([&] {
        const auto inside = childWindows(main.windowHandle());
        return finished == 1 && inside.size() == 1 && inside.front()->isVisible();
    }));
    QEvent quit(QEvent::Quit);
    QApplication::sendEvent(QApplication::instance(), &quit);
    EXPECT_TRUE(quit.isAccepted()) << "the quit was refused";
    delete slot;
}

}  // namespace

int main(int argc, char** argv) {
    // A real X display: the one given, else a virtual one of the test's own.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                                const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    platform::WebView::prepareProcess();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
