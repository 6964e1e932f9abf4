#include "ControlTestSupport.h"

using namespace controltest;

namespace {

// Holds a value the way a store field would: views read it when built.
template <class T>
struct Field {
    T value;
    int writes = 0;
    Binding<T> binding()
    {
        return Binding<T>([this] { return value; }, [this](T v) {
            value = std::move(v);
            ++writes;
        });
    }
};

}  // namespace

TEST(Buttons, TapRunsTheActionUnlessDisabled)
{
    int taps = 0;
    bool disabled = false;
    Rig rig;
    rig.show([&] { return Button("Scan Now", [&] { ++taps; }).disabled(disabled).accessibilityIdentifier("scan"); });
    ASSERT_TRUE(rig.tester.tap("scan"));
    EXPECT_EQ(taps, 1);
    disabled = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.tester.tap("scan");
    EXPECT_EQ(taps, 1) << "a disabled button ignores taps";
    auto node = rig.find("scan");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->hasTrait(AccessibilityTrait::button));
    EXPECT_EQ(node->label, "Scan Now");
}

TEST(Buttons, CustomStyleSeesThePressWhileThePointerIsDown)
{
    std::vector<bool> seen;
    auto press = [&seen](const ButtonStyleConfiguration& c) {
        seen.push_back(c.isPressed);
        return c.label.scaleEffect(c.isPressed ? 0.98 : 1.0);
    };
    Rig rig;
    rig.show([&] {
        return VStack({Button("A", [] {}).modifier(buttonStyle(press)).accessibilityIdentifier("a"),
                       Button("B", [] {}).modifier(buttonStyle(press)).accessibilityIdentifier("b")});
    });
    seen.clear();
    const Rect a = rig.find("a")->frame;
    rig.host.pointerPress({a.midX(), a.midY()});
    rig.settle();
    // Only the held button reports the press.
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0]);
    EXPECT_FALSE(seen[1]);
    seen.clear();
    rig.host.pointerRelease({a.midX(), a.midY()});
    rig.settle();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0]);
}

TEST(Buttons, StylesSizeTheFaceByControlSize)
{
    Rig rig;
    rig.show([&] {
        return VStack({Button("Go", [] {}).modifier(controlSize(ControlSize::small)).accessibilityIdentifier("small"),
                       Button("Go", [] {}).modifier(controlSize(ControlSize::large)).accessibilityIdentifier("large"),
                       Button("Go", [] {}).modifier(buttonStyle(borderedProminentButtonStyle())).modifier(tint(Color::green()))
                           .accessibilityIdentifier("prominent")});
    });
    EXPECT_DOUBLE_EQ(rig.find("small")->frame.height, controlMetrics(ControlSize::small).height);
    EXPECT_DOUBLE_EQ(rig.find("large")->frame.height, controlMetrics(ControlSize::large).height);
    EXPECT_GT(rig.find("large")->frame.width, rig.find("small")->frame.width);
    EXPECT_DOUBLE_EQ(rig.find("prominent")->frame.height, controlMetrics(ControlSize::regular).height);
}

TEST(Buttons, DisabledDropsTheTintForAFaintNeutralLookInBothAppearances)
{
    const auto neutral = [](RGBA c) { return c.red == c.green && c.green == c.blue; };
    for (ButtonStyleKind kind : {ButtonStyleKind::plain, ButtonStyleKind::borderless, ButtonStyleKind::bordered,
                                 ButtonStyleKind::borderedProminent}) {
        for (ButtonRole role : {ButtonRole::none, ButtonRole::destructive}) {
            ButtonStyleConfiguration c;
            c.tint = Color::green();
            c.role = role;
            c.isEnabled = false;
            const ButtonColors disabled = buttonColors(kind, c);
            for (ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
                const RGBA face = disabled.face.resolve(scheme);
                ASSERT_TRUE(disabled.ink.has_value()) << int(kind);
                const RGBA ink = disabled.ink->resolve(scheme);
                EXPECT_TRUE(neutral(face) && face.alpha <= 0.1) << int(kind) << " " << int(scheme);
                EXPECT_TRUE(neutral(ink) && ink.alpha <= 0.4) << int(kind) << " " << int(scheme);
            }
        }
    }
    ButtonStyleConfiguration live;
    live.tint = Color::green();
    EXPECT_EQ(buttonColors(ButtonStyleKind::borderedProminent, live).face.resolve(ColorScheme::dark), Color::green().resolve(ColorScheme::dark));
}

TEST(Buttons, KeyboardShortcutPressesTheButtonWithItsModifiersOnly)
{
    int scans = 0;
    bool scanning = false;
    Rig rig;
    rig.show([&] {
        return Button("Scan Now", [&] { ++scans; }).modifier(keyboardShortcut(Qt::Key_R, Qt::ControlModifier)).disabled(scanning);
    });
    EXPECT_FALSE(rig.key(Qt::Key_R, "r"));
    EXPECT_EQ(scans, 0);
    EXPECT_TRUE(rig.key(Qt::Key_R, "r", Qt::ControlModifier));
    EXPECT_EQ(scans, 1);
    scanning = true;
    rig.host.setNeedsRebuild();
    EXPECT_FALSE(rig.key(Qt::Key_R, "r", Qt::ControlModifier)) << "greyed out while scanning";
    EXPECT_EQ(scans, 1);
    // The press still reaches the button by pointer as usual.
    scanning = false;
    rig.host.setNeedsRebuild();
    ASSERT_TRUE(rig.tester.tapText("Scan Now"));
    EXPECT_EQ(scans, 2);
}

TEST(Toggles, TappingFlipsTheBindingAndTheValueFollows)
{
    Field<bool> openAtLogin{false};
    Rig rig;
    rig.show([&] { return Toggle("Open at login", openAtLogin.binding()).accessibilityIdentifier("login"); });
    EXPECT_EQ(rig.find("login")->value, "0");
    ASSERT_TRUE(rig.tester.tap("login"));
    EXPECT_TRUE(openAtLogin.value);
    EXPECT_EQ(rig.find("login")->value, "1");
    rig.tester.tap("login");
    EXPECT_FALSE(openAtLogin.value);
    EXPECT_EQ(openAtLogin.writes, 2);
}

TEST(Toggles, AStoreThatRefusesTheChangeSpringsTheSwitchBack)
{
    // The binding's setter refuses (registration failed): the switch shows the real value.
    bool real = false;
    Binding<bool> refusing([&] { return real; }, [](bool) {});
    Rig rig;
    rig.show([&] { return Toggle("Open at login", refusing).accessibilityIdentifier("login"); });
    rig.tester.tap("login");
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_EQ(rig.find("login")->value, "0");
}

TEST(Toggles, InAFormTheSwitchSitsAtTheTrailingEdge)
{
    Field<bool> on{true};
    Rig rig({400, 300});
    rig.show([&] { return Form({Section("General", {Toggle("Sound", on.binding()).accessibilityIdentifier("sound")})}); });
    const Rect row = rig.find("sound")->frame;
    // The row spans the card: label at the leading edge, switch at the trailing.
    EXPECT_GT(row.width, 300);
    EXPECT_TRUE(rig.hasText("General"));
}

TEST(Pickers, SegmentedPickerSelectsTheTappedSegment)
{
    Field<std::string> period{"daily"};
    Rig rig;
    rig.show([&] {
        return Picker("", period.binding(), {{"daily", "Daily"}, {"weekly", "Weekly"}, {"monthly", "Monthly"}}, PickerStyle::segmented);
    });
    auto selected = [&] {
        auto all = rig.tester.findAll([](const AccessibilityNodeInfo& n) { return n.hasTrait(AccessibilityTrait::selected); });
        return all.size() == 1 ? all[0].label : std::string("?");
    };
    EXPECT_EQ(selected(), "Daily");
    ASSERT_TRUE(rig.tester.tapText("Weekly"));
    EXPECT_EQ(period.value, "weekly");
    EXPECT_EQ(selected(), "Weekly");
}

TEST(Pickers, MenuPickerOffersEveryOptionWithTheCurrentOneChecked)
{
    Field<std::string> pane{"general"};
    std::vector<MenuItem> shown;
    setMenuPresenter([&](const std::vector<MenuItem>& items) { shown = items; });
    Rig rig;
    rig.show([&] { return Picker("Pane", pane.binding(), {{"general", "General"}, {"privacy", "Privacy"}}, PickerStyle::menu); });
    ASSERT_TRUE(rig.tester.tapText("General"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[0].checked);
    EXPECT_FALSE(shown[1].checked);
    shown[1].action();
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_EQ(pane.value, "privacy");
    EXPECT_TRUE(rig.hasText("Privacy"));
    setMenuPresenter(nullptr);
}

TEST(Menus, ContextMenuOpensOverItsViewOnly)
{
    int revealed = 0;
    std::vector<MenuItem> shown;
    setMenuPresenter([&](const std::vector<MenuItem>& items) { shown = items; });
    Rig rig;
    rig.show([&] {
        return HStack({Text("node_modules").modifier(contextMenu({{"Show in Files", [&] { ++revealed; }}})).accessibilityIdentifier("row"),
                       Text("elsewhere").accessibilityIdentifier("other")});
    });
    const Rect other = rig.find("other")->frame;
    EXPECT_FALSE(showContextMenu(rig.host, {other.midX(), other.midY()}));
    const Rect row = rig.find("row")->frame;
    ASSERT_TRUE(showContextMenu(rig.host, {row.midX(), row.midY()}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, "Show in Files");
    shown[0].action();
    EXPECT_EQ(revealed, 1);
    setMenuPresenter(nullptr);
}

TEST(Steppers, StepWithinBoundsAndDisableAtThem)
{
    Field<int> days{2};
    Rig rig;
    rig.show([&] { return Stepper("Days", days.binding(), 1, 1, 3); });
    ASSERT_TRUE(rig.tester.tapText("Increment"));
    EXPECT_EQ(days.value, 3);
    rig.tester.tapText("Increment");
    EXPECT_EQ(days.value, 3) << "disabled at the maximum";
    rig.tester.tapText("Decrement");
    rig.tester.tapText("Decrement");
    rig.tester.tapText("Decrement");
    EXPECT_EQ(days.value, 1);
    EXPECT_DOUBLE_EQ(stepValue(5, 2, 0, 6, true), 6);
    EXPECT_DOUBLE_EQ(stepValue(std::nan(""), 1, 0, 6, true), 1) << "a broken value restarts at the minimum";
}

TEST(Sliders, ClickAndDragSetTheValueAtThePointer)
{
    Field<double> level{0};
    Rig rig({400, 100});
    rig.show([&] { return Slider(level.binding(), 0, 100, 10).frame(216, std::nullopt).accessibilityIdentifier("level"); });
    const Rect f = rig.find("level")->frame;
    // The knob's centre travels from knob/2 to width - knob/2.
    const Point half{f.x + 8 + (f.width - 16) * 0.5, f.midY()};
    rig.tester.hover(half);
    rig.tester.tapAt(half);
    EXPECT_DOUBLE_EQ(level.value, 50);
    // A drag: press, move while held, release.
    rig.host.pointerPress(half);
    rig.settle();
    rig.host.pointerMove({f.maxX() - 2, f.midY()});
    rig.host.pointerRelease({f.maxX() - 2, f.midY()});
    rig.settle();
    EXPECT_DOUBLE_EQ(level.value, 100);
    EXPECT_DOUBLE_EQ(sliderValue(0.34, 0, 100, 10), 30);
    EXPECT_DOUBLE_EQ(sliderValue(-1, 0, 100, std::nullopt), 0);
}

TEST(Links, OnlyReachTheBrowserThroughTheInstalledOpener)
{
    std::vector<std::string> opened;
    Rig rig;
    rig.show([&] {
        return Link("Privacy policy", "https://example.org/privacy").environment<OpenURLKey>([&](const std::string& u) {
            opened.push_back(u);
            return true;
        });
    });
    ASSERT_TRUE(rig.tester.tapText("Privacy policy"));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "https://example.org/privacy");
    // The default opener refuses anything but http(s) without launching a thing.
    EXPECT_FALSE(OpenURLKey::defaultValue()("file:///etc/passwd"));
    EXPECT_FALSE(OpenURLKey::defaultValue()("javascript:alert(1)"));
    EXPECT_FALSE(OpenURLKey::defaultValue()("https://"));
}

TEST(Progress, BarClampsItsFractionAndReportsIt)
{
    Rig rig;
    rig.show([&] { return VStack({ProgressView(0.42).accessibilityIdentifier("p"), ProgressView(7.0).accessibilityIdentifier("over"),
                                  ProgressView(std::nan("")).accessibilityIdentifier("nan")}); });
    EXPECT_EQ(rig.find("p")->value, "42%");
    EXPECT_EQ(rig.find("over")->value, "100%");
    EXPECT_EQ(rig.find("nan")->value, "0%");
}

TEST(Progress, SpinnerTurnsOnlyWithMotion)
{
    Rig rig;
    rig.show([] { return ProgressView(); });
    EXPECT_TRUE(rig.host.nextFrameDue().has_value());
    EnvironmentValues env;
    env.reduceMotion = true;
    rig.host.setEnvironment(env);
    rig.settle();
    EXPECT_FALSE(rig.host.nextFrameDue().has_value());
}
