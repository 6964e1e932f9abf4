#include "desktop/Cursor.h"
#include "desktop/SavePanel.h"
#include "desktop/StatusItem.h"
#include "desktop/ApplicationMenu.h"
#include "desktop/Window.h"

#include "foundation/UserDefaults.h"
#include "runtime/MainActor.h"
#include "ui/Controls.h"
#include "Platform/foundation/TemporaryDirectory.h"

#include <nlohmann/json.hpp>

#include <QLayout>
#include <QMenuBar>
#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <gtest/gtest.h>

using namespace platform;
using namespace platform::ui;

namespace {

WindowSpec mainSpec() {
    return WindowSpec{"main", "Tidewell", WindowKind::standard, {1180, 760}, Size{900, 600}};
}

void pump() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

}  // namespace

TEST(Windows, AreKnownByIdentifierOrTitle) {
    Window main(mainSpec());
    Window settings(WindowSpec{"settings", "Settings", WindowKind::settings, {600, 460}, std::nullopt});
    EXPECT_EQ(Windows::find("main"), &main);
    EXPECT_EQ(Windows::findByIdentifierOrTitle("main", "Tidewell"), &main);
    // Either value alone finds it, as the shell looks for the main window.
    main.setTitle("Renamed");
    EXPECT_EQ(Windows::findByIdentifierOrTitle("nope", "Settings"), &settings);
    EXPECT_EQ(Windows::findByIdentifierOrTitle("main", "x"), &main);
    EXPECT_EQ(Windows::find("gone"), nullptr);
    {
        Window temp(WindowSpec{"temp", "Temp"});
        EXPECT_EQ(Windows::all().size(), 3u);
    }
    EXPECT_EQ(Windows::find("temp"), nullptr) << "a closed window leaves the registry";
}

TEST(Windows, TheFirstVisibleMainWindowIsFoundAndCapturedAtItsScale) {
    Window hidden(WindowSpec{"main", "Other"}), partial(WindowSpec{"panel", "Tidewell Settings"});
    Window titled(WindowSpec{"", "Tidewell", WindowKind::standard, {320, 200}});
    partial.show();
    EXPECT_EQ(Windows::findVisible("main", "Tidewell"), nullptr) << "hidden, or a title that only contains the name";
    titled.show();
    EXPECT_EQ(Windows::findVisible("main", "Tidewell"), &titled);
    hidden.show();
    EXPECT_EQ(Windows::findVisible("main", "Tidewell"), &hidden) << "window order decides";
    const auto image = titled.capture();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->deviceIndependentSize(), QSizeF(320, 200));
    EXPECT_EQ(image->size(), (QSizeF(320, 200) * titled.widget()->devicePixelRatioF()).toSize());
}

TEST(Windows, DefaultAndMinimumSizes) {
    Window main(mainSpec());
    EXPECT_EQ(main.frame().size(), (Size{1180, 760}));
    main.setFrame({10, 20, 1400, 900});
    EXPECT_DOUBLE_EQ(main.frame().width, 1400);
    main.setFrame({10, 20, 800, 500});
    EXPECT_GE(main.frame().width, 900) << "never below the content's minimum";
    EXPECT_GE(main.frame().height, 600);
    // A default below the minimum opens at the minimum.
    Window small(WindowSpec{"s", "S", WindowKind::standard, {100, 100}, Size{300, 200}});
    EXPECT_DOUBLE_EQ(small.frame().width, 300);
    // Settings windows keep their size.
    Window settings(WindowSpec{"settings", "Settings", WindowKind::settings, {720, 500}, std::nullopt});
    settings.setFrame({0, 0, 1000, 900});
    EXPECT_EQ(settings.frame().size(), (Size{720, 500}));
}

TEST(Windows, KindsTakeTheirFlags) {
    const Qt::WindowFlags panel = windowFlagsFor(WindowKind::floatingPanel);
    EXPECT_TRUE(panel.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(panel.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(panel.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(windowFlagsFor(WindowKind::popup) & Qt::WindowType_Mask, Qt::Popup);
    EXPECT_EQ(windowFlagsFor(WindowKind::standard) & Qt::WindowType_Mask, Qt::Window);
    Window p(WindowSpec{"scan-panel", "", WindowKind::floatingPanel, {300, 120}, std::nullopt});
    EXPECT_TRUE(p.widget()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(Windows, ShowHideAndMinimiseDriveTheScenePhaseAndTimelines) {
    Window main(mainSpec());
    std::vector<bool> visibility;
    main.setVisibilityHandler([&](bool v) { visibility.push_back(v); });
    main.setContent([] { return TimelineView(TimelineSchedule::animation(1.0 / 24), [](double) { return Text("scene"); }); });
    main.host().setScheduler(nullptr);
    EXPECT_EQ(main.phase(), ScenePhase::background);
    main.show();
    pump();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(main.phase(), ScenePhase::active);
    main.host().flush();
    EXPECT_TRUE(main.host().nextFrameDue()) << "a shown window's timeline ticks";
    main.hide();
    pump();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(main.phase(), ScenePhase::background);
    main.host().flush();
    EXPECT_FALSE(main.host().nextFrameDue()) << "a hidden window's timeline pauses";
    main.activate();
    pump();
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(visibility, (std::vector<bool>{true, false, true}));
}

TEST(Windows, RegisteredScenesOpenOnceAndComeForward) {
    int made = 0;
    Windows::registerScene("settings", [&] {
        ++made;
        return std::make_unique<Window>(WindowSpec{"settings", "Settings", WindowKind::settings, {600, 460}, std::nullopt});
    });
    Window* first = Windows::open("settings");
    ASSERT_NE(first, nullptr);
    pump();
    EXPECT_TRUE(first->isVisible());
    first->hide();
    Window* again = Windows::open("settings");
    EXPECT_EQ(again, first);
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(Windows::open("unknown"), nullptr);
    // Views reach it through the environment, never by making widgets.
    OpenWindowKey::defaultValue()("settings");
    EXPECT_EQ(made, 1);
    Windows::reset();
    EXPECT_EQ(Windows::find("settings"), nullptr);
}

// The settings window opens whole inside the screen's usable area: centred
// the first time, later where it was left, moved back in when that is off.
TEST(Windows, TheSettingsWindowOpensInsideTheUsableArea) {
    const Rect screen{0, 0, 1600, 1000}, belowABar{0, 32, 1600, 968};
    struct Case { std::optional<Point> at; Rect area; Point placed; };
    const Case cases[] = {
        {std::nullopt, screen, {440, 250}},
        {Point{300, 519}, screen, {300, 500}},
        {Point{1500, -40}, belowABar, {880, 32}},
        {Point{100, 100}, {0, 0, 640, 480}, {0, 0}},  // larger than the screen: its title bar stays on it
    };
    for (const auto& c : cases)
        EXPECT_EQ(placeInsideArea(c.at, {720, 500}, c.area), (Rect{c.placed.x, c.placed.y, 720, 500}));

    Window settings(WindowSpec{"settings", "Settings", WindowKind::settings, {720, 500}, std::nullopt});
    const QRect usable = QGuiApplication::primaryScreen()->availableGeometry();
    const auto inside = [&] { return usable.contains(settings.widget()->frameGeometry()); };
    settings.show();
    pump();
    EXPECT_TRUE(inside());
    // Centred as the window manager first shows it, before its frame is known: within half the frame's extents.
    const QPoint off = settings.widget()->frameGeometry().center() - usable.center();
    const QSize frame = settings.widget()->frameGeometry().size() - settings.widget()->size();
    EXPECT_LE(std::abs(off.x()), frame.width() / 2 + 1) << "centred across at its first opening";
    EXPECT_LE(std::abs(off.y()), frame.height() / 2 + 1) << "centred down at its first opening";
    settings.hide();
    settings.moveTo({double(usable.x() + 10), double(usable.bottom() - 100)});
    settings.show();
    pump();
    EXPECT_TRUE(inside());
    EXPECT_EQ(settings.widget()->frameGeometry().x(), usable.x() + 10) << "where it was left, across";
}

// A window already on screen that the user moved partly off the screen keeps
// its frame when it is shown again (as the tray's Open does): only an opening
// puts a window back inside.
TEST(Windows, AWindowShownAgainKeepsTheFrameTheUserGaveIt) {
    const QRect usable = QGuiApplication::primaryScreen()->availableGeometry();
    for (const WindowKind kind : {WindowKind::standard, WindowKind::settings}) {
        Window w(WindowSpec{"w", "W", kind, {400, 300}, Size{300, 200}});
        w.show();
        pump();
        w.widget()->move(usable.x() - 150, usable.bottom() - 100);
        pump();
        const QRect moved = w.widget()->frameGeometry();
        ASSERT_FALSE(usable.contains(moved));
        w.show();
        pump();
        EXPECT_EQ(w.widget()->frameGeometry(), moved) << int(kind);
        w.activate();
        pump();
        EXPECT_EQ(w.widget()->frameGeometry(), moved) << int(kind);
    }
}

// A window the user may resize opens whole on a screen smaller than its
// default or saved size, shrunk no further than its minimum.
TEST(Windows, AResizableWindowOpensNoLargerThanTheUsableArea) {
    const Rect small{0, 32, 900, 568};
    struct Case { std::optional<Point> at; Size size; Rect placed; };
    const Case cases[] = {
        {std::nullopt, {1180, 760}, {0, 32, 900, 568}},
        {Point{1, 20}, {1180, 600}, {0, 32, 900, 568}},      // its saved frame, off the top
        {Point{40, 60}, {500, 400}, {40, 60, 500, 400}},     // fits: left as it is
        {Point{40, 60}, {1180, 760}, {0, 32, 900, 568}},
    };
    for (const auto& c : cases) EXPECT_EQ(fitInsideArea(c.at, c.size, {300, 200}, small), c.placed);
    EXPECT_EQ(fitInsideArea(std::nullopt, {1180, 760}, {950, 600}, small), (Rect{0, 32, 950, 600}))
        << "never below its minimum: its top-left corner stays on the screen";

    const QRect usable = QGuiApplication::primaryScreen()->availableGeometry();
    Window main(WindowSpec{"main", "Tidewell", WindowKind::standard,
                           {double(usable.width() + 300), double(usable.height() + 200)}, Size{300, 200}});
    main.show();
    pump();
    EXPECT_TRUE(usable.contains(main.widget()->frameGeometry()));
}

TEST(Windows, TheMinimumFrameLeavesTheContentItsMinimumUnderTheMenuBar) {
    Window main(mainSpec());
    installApplicationMenu(main, {{"View", {"Dashboard", QKeySequence(), [] {}, nullptr}}});
    main.widget()->layout()->activate();
    const int bar = main.widget()->findChild<QMenuBar*>()->sizeHint().height();
    EXPECT_GE(main.widget()->minimumSize().height(), 600 + bar);
    EXPECT_GE(main.widget()->minimumSize().width(), 900);
}

// X11 unless the user chose: the scan panel and the popovers place
// themselves, which Wayland does not allow; Wayland only without an X server.
TEST(Windows, AStartAsksForX11UnlessTheUserChoseAnotherSystem) {
    EXPECT_EQ(windowingSystemFor(nullptr), "xcb;wayland");
    EXPECT_EQ(windowingSystemFor(""), "xcb;wayland") << "an empty setting is no choice";
    EXPECT_EQ(windowingSystemFor("wayland"), "wayland");
    EXPECT_EQ(windowingSystemFor("offscreen"), "offscreen");
}

// What the start chose is for this process alone: once the application has
// read it, a program it starts (a file manager, a browser) sees the user's
// own setting again, or none.
TEST(Windows, ProgramsStartedLaterGetTheUsersOwnWindowingSystem) {
    const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
    const bool wasSet = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    qunsetenv("QT_QPA_PLATFORM");
    chooseWindowingSystem();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb;wayland");
    restoreWindowingSystemChoice();
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));

    qputenv("QT_QPA_PLATFORM", "wayland");
    chooseWindowingSystem();
    restoreWindowingSystemChoice();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "wayland");

    if (wasSet) qputenv("QT_QPA_PLATFORM", saved);
    else qunsetenv("QT_QPA_PLATFORM");
}

TEST(Windows, CommandsRunUnlessDisabled) {
    Window main(mainSpec());
    int scans = 0;
    bool scanning = false;
    main.addCommand({"Scan Now", QKeySequence("Ctrl+R"), [&] { ++scans; }, [&] { return !scanning; }});
    EXPECT_TRUE(main.trigger(QKeySequence("Ctrl+R")));
    EXPECT_EQ(scans, 1);
    scanning = true;
    EXPECT_FALSE(main.trigger(QKeySequence("Ctrl+R")));
    EXPECT_FALSE(main.trigger(QKeySequence("Ctrl+9")));
    EXPECT_EQ(scans, 1);
}

TEST(StatusItems, IconCarriesTheTitleBesideTheLogoAndThePopoverToggles) {
    QImage logo(32, 32, QImage::Format_ARGB32_Premultiplied);
    logo.fill(QColor(0, 160, 90));
    const QImage bare = composeStatusIcon(logo, "", 22);
    const QImage titled = composeStatusIcon(logo, "0:42 · 12", 22);
    EXPECT_EQ(bare.width(), 22);
    EXPECT_GT(titled.width(), bare.width()) << "the title is drawn beside the logo";
    EXPECT_EQ(titled.height(), 22);
    EXPECT_EQ(composeStatusIcon(logo, "1:11 · 1", 22).width(), composeStatusIcon(logo, "0:48 · 8", 22).width())
        << "a ticking title keeps the icon's width";

    StatusItem item;
    item.setImage(logo);
    item.setPopoverContent([] { return Text("Widget").frame(280, 180); });
    EXPECT_FALSE(item.isPopoverShown());
    item.togglePopover();
    pump();
    EXPECT_TRUE(item.isPopoverShown());
    EXPECT_EQ(item.popover().frame().size(), (Size{280, 180})) << "sized by its content";
    item.togglePopover();
    pump();
    EXPECT_FALSE(item.isPopoverShown());
}

TEST(StatusItems, PopupStaysOnTheScreen) {
    const Rect screen{0, 0, 1440, 900};
    // A tray icon in the top-right corner: below it, pulled inside.
    Point o = popupOrigin({1420, 0, 20, 24}, {300, 400}, screen);
    EXPECT_DOUBLE_EQ(o.x, 1140);
    EXPECT_DOUBLE_EQ(o.y, 28);
    // A bottom panel: above the icon.
    o = popupOrigin({700, 876, 20, 24}, {300, 400}, screen);
    EXPECT_DOUBLE_EQ(o.y, 876 - 4 - 400);
    EXPECT_EQ(idealSize(Text("x").frame(120, 40)).width, 120);
}

TEST(SavePanels, ExtensionIsAddedOnce) {
    EXPECT_EQ(withExtension("/home/a/card", "png"), "/home/a/card.png");
    EXPECT_EQ(withExtension("/home/a/card.PNG", "png"), "/home/a/card.PNG");
    EXPECT_EQ(withExtension("/home/a/card.png.txt", "png"), "/home/a/card.png.txt.png");
    EXPECT_EQ(withExtension("", "png"), "");
}

TEST(Cursors, PushAndPopTheOverrideAndAnExtraPopIsHarmless) {
    cursor::push(CursorShape::pointingHand);
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    cursor::pop();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    cursor::pop();
}

TEST(FloatingPanels, SizeToTheirContentInTheTopRightCorner) {
    Window panel(WindowSpec{"scan-widget", "", WindowKind::floatingPanel, {100, 100}, std::nullopt});
    panel.setContent([] { return Text("Scanning…").padding(14).frame(260, std::nullopt); });
    panel.sizeToFit();
    EXPECT_DOUBLE_EQ(panel.frame().width, 260);
    EXPECT_GT(panel.frame().height, 20);
    // The window takes the shadow's margin on every side of the content.
    panel.moveTo({1000, 40});
    EXPECT_EQ(panel.widget()->geometry(), QRect(1000 - 24, 40 - 24, 260 + 48, int(panel.frame().height) + 48));
    EXPECT_EQ(panel.frame().origin(), (Point{1000, 40}));
    const Point o = topRightOrigin({0, 28, 1440, 872}, {260, 120}, 16);
    EXPECT_DOUBLE_EQ(o.x, 1440 - 260 - 16);
    EXPECT_DOUBLE_EQ(o.y, 28 + 16);
    // The offscreen platform has a screen; its usable area is reported.
    auto screen = visibleScreenFrameAt({10, 10});
    ASSERT_TRUE(screen.has_value());
    EXPECT_GT(screen->width, 0);
}

TEST(Windows, TheOwnerDecidesWhetherACloseGoesThrough) {
    Window main(mainSpec());
    bool allow = false;
    int asked = 0;
    main.setCloseHandler([&] {
        ++asked;
        return allow;
    });
    main.show();
    pump();
    main.widget()->close();
    pump();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(main.isVisible()) << "refused";
    allow = true;
    main.widget()->close();
    pump();
    EXPECT_FALSE(main.isVisible());
    EXPECT_NE(Windows::find("main"), nullptr) << "closed windows are hidden, not destroyed";
}

// Only the windows the user works in count for the last-window-closed
// handler: a panel or popover closing alone calls none, and one still up does
// not keep the work window's close from calling it.
TEST(Windows, TheLastWindowClosedHandlerHearsOnlyTheWindowsTheUserWorksIn) {
    int calls = 0;
    Windows::setLastWindowClosedHandler([&] { ++calls; });
    {
        Window main(mainSpec());
        Window panel(WindowSpec{"scan-widget", "", WindowKind::floatingPanel, {260, 120}, std::nullopt});
        Window popover(WindowSpec{"popover", "", WindowKind::popup, {280, 180}, std::nullopt});
        for (Window* alone : {&panel, &popover}) {
            alone->show();
            pump();
            alone->widget()->close();
            pump();
            EXPECT_FALSE(alone->isVisible());
            EXPECT_EQ(calls, 0) << alone->identifier() << " closed with no work window up";
        }
        for (Window* beside : {&panel, &popover}) {
            main.show();
            beside->show();
            pump();
            ASSERT_TRUE(beside->isVisible());
            main.widget()->close();
            pump();
            EXPECT_FALSE(main.isVisible());
            EXPECT_EQ(calls, beside == &panel ? 1 : 2) << "the work window closed with the " << beside->identifier() << " up";
            beside->hide();
            pump();
        }
    }
    Windows::setLastWindowClosedHandler(nullptr);
}

// A window shown minimised is not on screen until restored, and a restore
// keeps it maximised; its frame comes back in the next run.
TEST(Windows, FrameAndMaximisedStateComeBackInTheNextRun) {
    testing_support::TemporaryDirectory folder;
    platform::UserDefaults::setStandard(std::make_shared<platform::UserDefaults>(folder.path() + "/defaults.json"));
    const std::string key = "window.main";
    {
        Window main(mainSpec());
        main.setFrameAutosaveName("main");
        std::vector<bool> visibility;
        main.setVisibilityHandler([&](bool v) { visibility.push_back(v); });
        main.minimize();
        pump();
        EXPECT_EQ(main.phase(), ScenePhase::background);
        EXPECT_TRUE(visibility.empty()) << "shown minimised is not shown yet";
        main.show();
        pump();
        EXPECT_EQ(visibility, std::vector<bool>{true});
        main.setFrame({140, 90, 1000, 700});
        ASSERT_TRUE(platform::processMainEventsUntil([&] {
            const auto saved = platform::UserDefaults::standard()->object(key);
            return saved && platform::decodeSavedWindowFrame(*saved) &&
                   platform::decodeSavedWindowFrame(*saved)->frame.width == 1000;
        }, std::chrono::seconds(30)));
        main.widget()->setWindowState(Qt::WindowMaximized);
        main.minimize();
        main.show();
        EXPECT_TRUE(main.isMaximized()) << "restored as it was";
    }
    const auto saved = platform::decodeSavedWindowFrame(*platform::UserDefaults::standard()->object(key));
    ASSERT_TRUE(saved);
    EXPECT_TRUE(saved->maximized);
    EXPECT_EQ(saved->frame.width, 1000);
    EXPECT_EQ(saved->frame.height, 700);
    Window next(mainSpec());
    next.setFrameAutosaveName("main");
    EXPECT_EQ(next.frame().width, 1000);
    EXPECT_EQ(next.frame().height, 700);
    EXPECT_TRUE(next.widget()->windowState() & Qt::WindowMaximized);
    platform::UserDefaults::setStandard(nullptr);

    const ui::Rect screen{0, 0, 1920, 1080};
    EXPECT_EQ(platform::placeSavedFrame({1800, 1000, 900, 600}, {screen}), (ui::Rect{1800, 1000, 900, 600}))
        << "120 × 80 still on screen: where it was";
    EXPECT_EQ(platform::placeSavedFrame({3000, 100, 2400, 600}, {screen}), (ui::Rect{0, 240, 1920, 600}))
        << "its screen is gone: centred, no larger than the screen";
    EXPECT_EQ(platform::placeSavedFrame({0, 0, 900, 600}, {}), std::nullopt);
    EXPECT_FALSE(platform::decodeSavedWindowFrame(nlohmann::json{{"x", "1"}, {"y", 0}, {"width", 900}, {"height", 600}}));
    EXPECT_FALSE(platform::decodeSavedWindowFrame(nlohmann::json{{"x", 0}, {"y", 0}, {"width", 0}, {"height", 600}}));
}
