#include "AccountTesting.h"

#include "social/LeaderboardWebModel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

// The web engine's own library fails AddressSanitizer's delete-size check
// when a page goes away, so the page runs only in the plain build.
#if !defined(__SANITIZE_ADDRESS__)

namespace {

using namespace tidewell;

// The real page in the engine, on the stand-in service at 127.0.0.1, where
// "localhost" is another origin.
class LeaderboardPageTest : public accounttest::AccountTest {
protected:
    LeaderboardPageTest() {
        if (::geteuid() == 0) ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        service.sessionFor("jane@example.com");
    }
    void loaded() {
        settle([&] { return model.hasLoaded.get() && !model.isLoading.get(); });
        idle(0.3);
    }
    std::string page() { return model.webView().url().value_or(""); }
    LeaderboardWebModel model;
};

// A hostile page at the leaderboard's address: a frame of another origin,
// and a timer, a refresh and a form that each try to take the page elsewhere.
// Nothing of it loads or reaches the browser until the user clicks.
TEST_F(LeaderboardPageTest, AnotherSiteNeitherLoadsInThePageNorOpensWithoutTheUser) {
    const std::string other = "http://localhost:" + std::to_string(service.port());
    const std::string hostile =
        "<html><head><meta http-equiv=\"refresh\" content=\"0.4;url=" + other + "/meta\"></head><body style=\"margin:0\">"
        "<iframe src=\"" + other + "/u/framed\"></iframe>"
        "<form id=\"f\" action=\"" + other + "/form\"><input name=\"q\" value=\"1\"></form>"
        "<a href=\"" + other + "/clicked\" style=\"position:fixed;left:0;top:0;right:0;bottom:0\">out</a>"
        "<script>setTimeout(() => { location.href = '" + other + "/timer'; }, 100);"
        "setTimeout(() => document.getElementById('f').submit(), 200);</script></body></html>";
    service.force("leaderboard", {200, "text/html", hostile, {}}, -1);
    model.loadIfNeeded();
    loaded();
    ASSERT_TRUE(model.hasLoaded.get());
    idle(1.5);
    EXPECT_TRUE(workspace.openedURLs.empty());
    for (const auto& request : service.requests)
        for (const char* path : {"/u/framed", "/meta", "/form", "/timer", "/clicked"})
            EXPECT_NE(request.target.rfind(path, 0), 0u) << request.target;
    // Sent nowhere, the page stays as it was, not failed.
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());
    // Another scheme never leaves the page, whoever asks.
    model.webView().runJavaScript("location.href = 'tidewell://activate?code=planted';");
    // A window the user did not click for is refused, even on the service.
    model.webView().runJavaScript("window.open('" + service.origin() + "/u/jane', '_blank');");
    idle(0.5);
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());
    EXPECT_TRUE(workspace.openedURLs.empty() && workspace.refusedURLs.empty());

    // The user clicks the page's link: that one address goes to the browser.
    QWidget window;
    window.resize(640, 480);
    QWidget* slot = model.webView().widget();
    slot->setParent(&window);
    slot->setGeometry(0, 0, 640, 480);
    window.show();
    idle(0.5);
    QWidget* input = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == "leaderboard.webView") input = w->focusProxy();
    ASSERT_TRUE(input);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, QPointF(320, 240), input->mapToGlobal(QPointF(320, 240)), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(input, &click);
    }
    settle([&] { return !workspace.openedURLs.empty(); });
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{other + "/clicked"});
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    // The click moved the page once: the page's own tries after it stay home.
    model.webView().runJavaScript("location.href = '" + other + "/later';");
    idle(0.5);
    EXPECT_EQ(workspace.openedURLs.size(), 1u);
    // A key does as a click does: Return on the link.
    model.webView().runJavaScript("document.querySelector('a').focus();");
    idle(0.3);
    input->setFocus();
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, "\r");
        QApplication::sendEvent(input, &key);
    }
    settle([&] { return workspace.openedURLs.size() == 2; });
    EXPECT_EQ(workspace.openedURLs, (std::vector<std::string>{other + "/clicked", other + "/clicked"}));
    delete slot;
}

// A page with colours of its own for the ten variables the stylesheet knows:
// in dark appearance it keeps every one of them; in light appearance the
// stylesheet's light colours replace them, and going dark again gives them back.
TEST_F(LeaderboardPageTest, InDarkAppearanceThePageKeepsItsOwnColours) {
    const std::vector<std::string> names = {"--bg",   "--bg-2", "--panel", "--panel-strong", "--stroke",
                                            "--stroke-strong", "--text", "--muted", "--faint", "--accent-hi"};
    std::string own = ":root {";
    std::vector<std::string> ownValues;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ownValues.push_back("#0" + std::to_string(i) + "0" + std::to_string(i) + "0" + std::to_string(i));
        own += " " + names[i] + ": " + ownValues.back() + ";";
    }
    own += " }";
    service.force("leaderboard", {200, "text/html", "<html><head><style>" + own + "</style></head><body></body></html>", {}}, -1);
    auto colours = [&] {
        std::string list = "[";
        for (const auto& n : names) list += "'" + n + "',";
        std::optional<std::string> answer;
        model.webView().evaluateJavaScript(
            "(() => { const s = getComputedStyle(document.documentElement); return " + list +
                "].map(n => s.getPropertyValue(n).trim()).join('|'); })()",
            [&](std::string v) { answer = std::move(v); });
        settle([&] { return answer.has_value(); });
        std::vector<std::string> values;
        std::string rest = answer.value_or("");
        for (std::size_t bar; (bar = rest.find('|')) != std::string::npos; rest.erase(0, bar + 1)) values.push_back(rest.substr(0, bar));
        values.push_back(rest);
        return values;
    };
    const std::vector<std::string> light = {"transparent", "transparent", "rgba(0, 0, 0, 0.035)", "rgba(0, 0, 0, 0.06)",
                                            "rgba(0, 0, 0, 0.08)", "rgba(0, 0, 0, 0.14)", "#10201c", "#4d625c",
                                            "#6f827c", "#0a6fd6"};

    model.setColorScheme(true);
    model.loadIfNeeded();
    loaded();
    EXPECT_EQ(colours(), ownValues);
    model.setColorScheme(false);
    idle(0.3);
    EXPECT_EQ(colours(), light);
    model.setColorScheme(true);
    idle(0.3);
    EXPECT_EQ(colours(), ownValues);
}

TEST_F(LeaderboardPageTest, AnUnreachableServiceShowsTheFailure) {
    ::setenv("TIDEWELL_SITE", "http://127.0.0.1:9", 1);
    model.load();
    settle([&] { return model.failed.get(); });
    EXPECT_TRUE(model.failed.get());
    EXPECT_FALSE(model.isLoading.get() || model.hasLoaded.get());
}

}  // namespace

#endif
