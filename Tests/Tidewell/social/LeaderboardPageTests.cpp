#include "AccountTesting.h"

#include "social/LeaderboardWebModel.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <functional>

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
    // Starts a load of `in` with `start` and waits until that load has
    // finished (a reload included: the page was loaded before).
    void loads(LeaderboardWebModel& in, const std::function<void()>& start) {
        const auto before = in.hasLoaded.version();
        start();
        settle([&] { return in.hasLoaded.version() != before && !in.isLoading.get(); });
    }
    void loads(const std::function<void()>& start) { loads(model, start); }
    std::string page() { return model.webView().url().value_or(""); }
    std::string other() const { return "http://localhost:" + std::to_string(service.port()); }
    // The page in a shown window; the widget that takes the user's input in
    // it, once the page takes input: it has the window's size and has painted
    // its first content (until then the engine drops clicks and keys).
    QWidget* shown() {
        window.resize(640, 480);
        QWidget* slot = model.webView().widget();
        slot->setParent(&window);
        slot->setGeometry(0, 0, 640, 480);
        window.show();
        reads(model,
              "document.visibilityState == 'visible' && innerWidth == 640 && innerHeight == 480 &&"
              " performance.getEntriesByName('first-contentful-paint').length == 1",
              "true");
        for (QWidget* w : QApplication::allWidgets())
            if (w->objectName() == "leaderboard.webView") return w->focusProxy();
        return nullptr;
    }
    // The given page at the leaderboard's address, loaded and shown.
    QWidget* opened(const std::string& html) {
        service.force("leaderboard", {200, "text/html", html, {}}, -1);
        loads([&] { model.loadIfNeeded(); });
        return shown();
    }
    // Waits until the page's script reads `value` for `expression`, and gives what it reads.
    std::string reads(LeaderboardWebModel& in, const std::string& expression, const std::string& value) {
        std::string now;
        settle([&] { return (now = evaluate(in, expression)) == value; });
        return now;
    }
    static void click(QWidget* input, QPointF at = {320, 240}) {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, input->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(input, &e);
        }
    }
    static void press(QWidget* input, Qt::Key key, const QString& text = {}) {
        input->setFocus();
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(type, key, Qt::NoModifier, text);
            QApplication::sendEvent(input, &e);
        }
    }
    std::string evaluate(LeaderboardWebModel& in, const std::string& script) {
        std::optional<std::string> answer;
        in.webView().evaluateJavaScript(script, [&](std::string v) { answer = std::move(v); });
        settle([&] { return answer.has_value(); });
        return answer.value_or("");
    }
    LeaderboardWebModel model;
    QWidget window;
};

// A hostile page at the leaderboard's address: a frame of another origin,
// and a timer, a refresh and a form that each try to take the page elsewhere.
// Nothing of it loads or reaches the browser until the user clicks. The page
// counts its tries, the last one a second in, when the refresh has had its turn.
TEST_F(LeaderboardPageTest, AnotherSiteNeitherLoadsInThePageNorOpensWithoutTheUser) {
    const std::string other = "http://localhost:" + std::to_string(service.port());
    const std::string hostile =
        "<html><head><meta http-equiv=\"refresh\" content=\"0.4;url=" + other + "/meta\"></head><body style=\"margin:0\">"
        "<iframe src=\"" + other + "/u/framed\"></iframe>"
        "<form id=\"f\" action=\"" + other + "/form\"><input name=\"q\" value=\"1\"></form>"
        "<a href=\"" + other + "/clicked\" style=\"position:fixed;left:0;top:0;right:0;bottom:0\">out</a>"
        "<script>let tries = 0; setTimeout(() => { location.href = '" + other + "/timer'; ++tries; }, 100);"
        "setTimeout(() => { document.getElementById('f').submit(); ++tries; }, 200);"
        "setTimeout(() => ++tries, 1000);</script></body></html>";
    service.force("leaderboard", {200, "text/html", hostile, {}}, -1);
    loads([&] { model.loadIfNeeded(); });
    ASSERT_TRUE(model.hasLoaded.get());
    EXPECT_EQ(reads(model, "tries", "3"), "3");
    EXPECT_TRUE(workspace.openedURLs.empty());
    for (const auto& request : service.requests)
        for (const char* path : {"/u/framed", "/meta", "/form", "/timer", "/clicked"})
            EXPECT_NE(request.target.rfind(path, 0), 0u) << request.target;
    // Sent nowhere, the page stays as it was, not failed.
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());
    // Another scheme never leaves the page, whoever asks.
    evaluate(model, "location.href = 'tidewell://activate?code=planted';");
    // A window the user did not click for is refused, even on the service.
    evaluate(model, "window.open('" + service.origin() + "/u/jane', '_blank'), 'asked'");
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_FALSE(model.failed.get() || model.isLoading.get());
    EXPECT_TRUE(workspace.openedURLs.empty() && workspace.refusedURLs.empty());

    // The user clicks the page's link: that one address goes to the browser.
    QWidget* input = shown();
    ASSERT_TRUE(input);
    click(input);
    settle([&] { return !workspace.openedURLs.empty(); });
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{other + "/clicked"});
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    // The click moved the page once: the page's own tries after it stay home.
    evaluate(model, "location.href = '" + other + "/later';");
    EXPECT_EQ(workspace.openedURLs.size(), 1u);
    // A key does as a click does: Return on the link.
    EXPECT_EQ(evaluate(model, "document.querySelector('a').focus(); document.activeElement.tagName"), "A");
    press(input, Qt::Key_Return, "\r");
    settle([&] { return workspace.openedURLs.size() == 2; });
    EXPECT_EQ(workspace.openedURLs, (std::vector<std::string>{other + "/clicked", other + "/clicked"}));
}

// One click on a plain part of a page that answers it with script-made link
// clicks (new windows, its frame's links, its own links), window.open and a
// timer lets the page leave for the browser once; the next click once more.
// The page counts the clicks it has answered to the end (its timer included),
// so each click comes after the page is done with the one before.
TEST_F(LeaderboardPageTest, OneClickLetsThePageLeaveForTheBrowserAtMostOnce) {
    const std::string out = other();
    const std::string busy =
        "<html><body style=\"margin:0\"><div style=\"position:fixed;inset:0\">plain</div>"
        "<iframe srcdoc=\"<p>frame</p>\"></iframe><script>let answered = 0;"
        "const link = (doc, href, target) => { const a = doc.createElement('a'); a.href = href;"
        " if (target) a.target = target; doc.body.appendChild(a); a.click(); };"
        // The links' own clicks bubble up here too: only the user's click is answered.
        "addEventListener('click', e => { if (!e.isTrusted) return;"
        " for (let i = 0; i < 5; ++i) link(document, '" + out + "/blank' + i, '_blank');"
        " for (let i = 0; i < 5; ++i) window.open('" + out + "/open' + i);"
        " const frame = document.querySelector('iframe').contentDocument;"
        " for (let i = 0; i < 20; ++i) link(frame, '" + out + "/frame' + i);"
        " for (let i = 0; i < 5; ++i) link(document, '" + out + "/own' + i);"
        " setTimeout(() => { location.href = '" + out + "/timer'; ++answered; }, 200);"
        "});</script></body></html>";
    QWidget* input = opened(busy);
    ASSERT_TRUE(input);
    for (std::size_t clicks = 1; clicks <= 2; ++clicks) {
        click(input, {600, 400});
        settle([&] { return workspace.openedURLs.size() >= clicks; });
        EXPECT_EQ(reads(model, "answered", std::to_string(clicks)), std::to_string(clicks));
        EXPECT_EQ(workspace.openedURLs.size(), clicks);
    }
    for (const auto& url : workspace.openedURLs) EXPECT_EQ(url.rfind(out + "/", 0), 0u) << url;
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
}

// Shift and Escape only modify or dismiss: a page script that leaves on any
// key stays home for them, and goes once for a letter.
TEST_F(LeaderboardPageTest, ShiftOrEscapeInTheViewIsNotTheUsersDoing) {
    const std::string keyed = "<html><body>keys<script>let keys = 0; addEventListener('keydown', e => { ++keys; location.href = '" +
                              other() + "/key-' + e.key; });</script></body></html>";
    QWidget* input = opened(keyed);
    ASSERT_TRUE(input);
    press(input, Qt::Key_Shift);
    press(input, Qt::Key_Escape);
    EXPECT_EQ(reads(model, "keys", "2"), "2");
    EXPECT_TRUE(workspace.openedURLs.empty()) << workspace.openedURLs.front();
    press(input, Qt::Key_A, "a");
    settle([&] { return !workspace.openedURLs.empty(); });
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{other() + "/key-a"});
}

// A link that opens a new window on another site goes to the browser, the page staying as it was.
TEST_F(LeaderboardPageTest, AClickOnALinkToANewWindowElsewhereAsksTheBrowser) {
    const std::string blank = "<html><body style=\"margin:0\"><a href=\"" + other() +
                              "/blank\" target=\"_blank\" style=\"position:fixed;inset:0\">out</a></body></html>";
    QWidget* input = opened(blank);
    ASSERT_TRUE(input);
    click(input);
    settle([&] { return !workspace.openedURLs.empty(); });
    idle(0.5);
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{other() + "/blank"});
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
}

// A link to another site in one of the page's own frames, clicked by the
// user, goes to the browser: no new window takes the click first, and the
// frame's navigation is the one the click lets out.
TEST_F(LeaderboardPageTest, AClickOnALinkInThePagesOwnFrameAsksTheBrowser) {
    const std::string framed = "<html><body style=\"margin:0\">board<iframe style=\"border:0;position:fixed;inset:0;width:100%;"
                               "height:100%\" srcdoc=\"<a href='" + other() + "/frame-link' style='position:fixed;inset:0'>"
                               "out</a>\"></iframe></body></html>";
    QWidget* input = opened(framed);
    ASSERT_TRUE(input);
    reads(model, "document.querySelector('iframe').contentDocument.querySelectorAll('a').length", "1");
    click(input);
    settle([&] { return !workspace.openedURLs.empty(); });
    EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{other() + "/frame-link"});
    EXPECT_EQ(page(), service.origin() + "/leaderboard");
    EXPECT_EQ(evaluate(model, "document.querySelector('iframe').contentWindow.location.href"), "about:srcdoc");
}

// A page's dialogs never show and nothing waits on them: alerts in a loop,
// a question and a prompt answer at once, as dismissed, and a page that asks
// before it is left is left when the user reloads.
TEST_F(LeaderboardPageTest, ThePagesDialogsNeverShowNorHoldTheApplication) {
    const std::string asking =
        "<html><body style=\"margin:0\"><div style=\"position:fixed;inset:0\">plain</div><script>"
        "addEventListener('beforeunload', e => { e.preventDefault(); e.returnValue = 'stay'; });"
        "addEventListener('click', () => { let n = 0; for (let i = 0; i < 30; ++i) { alert(i); ++n; }"
        " document.title = n + ' ' + confirm('Sure?') + ' ' + prompt('Name?', 'x'); });"
        "</script></body></html>";
    int dialogs = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) {
                ++dialogs;
                dialog->reject();
            }
    });
    watch.start(20);
    QWidget* input = opened(asking);
    ASSERT_TRUE(input);
    click(input);
    settle([&] { return !evaluate(model, "document.title").empty(); });
    EXPECT_EQ(evaluate(model, "document.title"), "30 false null");
    const auto asked = [&] {
        int n = 0;
        for (const auto& r : service.requests) n += r.target == "/leaderboard";
        return n;
    };
    const int before = asked();
    loads([&] { model.load(); });
    EXPECT_EQ(asked(), before + 1);
    EXPECT_EQ(evaluate(model, "document.title"), "");
    EXPECT_EQ(dialogs, 0);
}

// The page's own colour-scheme rules follow the window's appearance however
// often it changes, in either order and across a reload: the page reads as
// it does when first opened in that appearance. (The engine's own preference
// is fixed at its start; the test of the web view in a window runs the other.)
TEST_F(LeaderboardPageTest, ThePagesOwnColourSchemeRulesFollowEverySwitchOfAppearance) {
    service.addToBoard("jane_doe", 0, 48'200'000'000ULL);
    const std::string look =
        "(() => { const root = getComputedStyle(document.documentElement);"
        " const row = getComputedStyle(document.querySelector('.row')), h1 = getComputedStyle(document.querySelector('h1'));"
        " return [root.colorScheme, ...['--bg', '--bg-2', '--panel', '--panel-strong', '--stroke', '--stroke-strong',"
        " '--text', '--muted', '--faint', '--accent-hi'].map(n => root.getPropertyValue(n).trim()),"
        " h1.color, row.backgroundColor, row.borderTopColor].join('|'); })()";
    const auto of = [&](LeaderboardWebModel& m) { return evaluate(m, look); };
    const auto starts = [](const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; };
    // What the page reads once it is in the appearance that `head` names.
    const auto in = [&](const std::string& head) {
        std::string now;
        settle([&] { return starts(now = of(model), head); });
        return now;
    };

    loads([&] { model.loadIfNeeded(); });
    const std::string light = in("light|");
    EXPECT_TRUE(starts(light, "light|transparent|transparent|rgba(0, 0, 0, 0.035)")) << light;
    model.setColorScheme(true);
    const std::string dark = in("dark|");
    // The page's own dark colours, its light rule no longer matching.
    EXPECT_TRUE(starts(dark, "dark|#0b1513|#0f1f1b|rgba(255,255,255,0.04)")) << dark;
    EXPECT_NE(dark.find("|#e6f1ed|#9fb5ae|#73877f|#64d2ff|rgb(230, 241, 237)|"), std::string::npos) << dark;
    for (int round = 0; round < 2; ++round) {
        model.setColorScheme(false);
        EXPECT_EQ(reads(model, look, light), light);
        model.setColorScheme(true);
        EXPECT_EQ(reads(model, look, dark), dark);
    }
    loads([&] { model.load(); });
    EXPECT_EQ(reads(model, look, dark), dark);

    // A page opened first in dark reads the same, and goes light as the first did.
    LeaderboardWebModel second;
    second.setColorScheme(true);
    loads(second, [&] { second.loadIfNeeded(); });
    EXPECT_EQ(reads(second, look, dark), dark);
    second.setColorScheme(false);
    EXPECT_EQ(reads(second, look, light), light);
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
    const auto shows = [&](const std::vector<std::string>& want) {
        std::vector<std::string> now;
        settle([&] { return (now = colours()) == want; });
        return now;
    };
    const std::vector<std::string> light = {"transparent", "transparent", "rgba(0, 0, 0, 0.035)", "rgba(0, 0, 0, 0.06)",
                                            "rgba(0, 0, 0, 0.08)", "rgba(0, 0, 0, 0.14)", "#10201c", "#4d625c",
                                            "#6f827c", "#0a6fd6"};

    model.setColorScheme(true);
    loads([&] { model.loadIfNeeded(); });
    EXPECT_EQ(colours(), ownValues);
    model.setColorScheme(false);
    EXPECT_EQ(shows(light), light);
    model.setColorScheme(true);
    EXPECT_EQ(shows(ownValues), ownValues);
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
