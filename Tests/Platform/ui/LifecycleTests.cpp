#include "ControlTestSupport.h"

#include "foundation/UserDefaults.h"

#include <QTemporaryDir>

using namespace controltest;

TEST(Lifecycle, HooksRunAfterTheBuildInTreeOrderAndChangesSkipTheFirstValue)
{
    std::vector<std::string> log;
    bool shown = true;
    int value = 1;
    Rig rig;
    bool insideBuild = false;
    auto note = [&](std::string s) {
        if (insideBuild) s += " (inside a build)";
        log.push_back(std::move(s));
    };
    rig.show([&] {
        insideBuild = true;
        View inner = Text("row")
                         .onAppear([&] { note("appear inner"); })
                         .onDisappear([&] { note("disappear inner"); })
                         .onChange(value, [&](const int& before, const int& now) {
                             note("change " + std::to_string(before) + ">" + std::to_string(now));
                         });
        View root = VStack({ViewIf(shown, inner)}).onAppear([&] { note("appear outer"); });
        insideBuild = false;
        return root;
    });
    EXPECT_EQ(log, (std::vector<std::string>{"appear outer", "appear inner"}));

    const std::vector<std::pair<std::function<void()>, std::vector<std::string>>> steps = {
        {[&] { value = 2; }, {"change 1>2"}},
        {[&] {}, {}},
        {[&] { shown = false; }, {"disappear inner"}},
        // Back with another value: that is its first value again, not a change.
        {[&] { shown = true; value = 3; }, {"appear inner"}},
    };
    for (const auto& [change, expected] : steps) {
        log.clear();
        change();
        rig.host.setNeedsRebuild();
        rig.settle();
        EXPECT_EQ(log, expected);
    }
}

TEST(Lifecycle, HandlersMayChangeStateAndTasksEndWithTheirView)
{
    bool shown = true;
    std::string id = "a";
    std::vector<ViewTask> tasks;
    Rig rig;
    rig.show([&] {
        View counted = WithState<int>(0, [](Binding<int> n) {
            return Text("appeared " + std::to_string(n.get())).accessibilityIdentifier("count").onAppear([n] { n.set(n.get() + 1); });
        });
        return VStack({ViewIf(shown, counted.task(id, [&](const ViewTask& t) { tasks.push_back(t); }))});
    });
    EXPECT_EQ(rig.find("count")->label, "appeared 1") << "the appearance handler's write rebuilt the view";
    ASSERT_EQ(tasks.size(), 1u);
    id = "b";
    rig.host.setNeedsRebuild();
    rig.settle();
    ASSERT_EQ(tasks.size(), 2u);
    EXPECT_TRUE(tasks[0].isCancelled()) << "a new id replaces the task";
    EXPECT_FALSE(tasks[1].isCancelled());
    shown = false;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_TRUE(tasks[1].isCancelled()) << "the task ends with its view";
}

TEST(AppStorage, AWriteFromOneHostRedrawsEveryHostReadingTheKey)
{
    QTemporaryDir dir;
    auto defaults = std::make_shared<platform::UserDefaults>(dir.filePath("defaults.json").toStdString());
    auto page = [defaults](const std::string& tag) {
        return [defaults, tag] {
            return AppStorage<std::string>("settings.selectedPane", "general", [tag](Binding<std::string> pane) {
                return VStack({Text(pane.get()).accessibilityIdentifier(tag + ".pane"),
                               Button("Character", [pane] { pane.set("character"); }).accessibilityIdentifier(tag + ".pick")});
            }, defaults);
        };
    };
    Rig settings, main;
    settings.show(page("settings"));
    main.show(page("main"));
    EXPECT_EQ(settings.find("settings.pane")->label, "general");
    ASSERT_TRUE(main.tester.tap("main.pick"));
    EXPECT_EQ(defaults->stringValue("settings.selectedPane"), "character");
    EXPECT_TRUE(settings.host.needsRebuild()) << "the other window heard the key change";
    settings.settle();
    EXPECT_EQ(settings.find("settings.pane")->label, "character");
    // A write outside any view reaches the views too.
    defaults->setString("settings.selectedPane", "general");
    main.settle();
    EXPECT_EQ(main.find("main.pane")->label, "general");
}

TEST(ModalCards, ReturnAndEscapeReachTheCardWhileAFieldElsewhereHasTheKeys)
{
    std::string name, pressed;
    bool modal = true;
    Rig rig;
    rig.show([&] {
        View card = VStack({
            Button("Not Now", [&] { pressed = "not now"; }).modifier(keyboardShortcut(KeyboardShortcut::cancelAction())),
            Button("Share", [&] { pressed = "share"; }).modifier(keyboardShortcut(KeyboardShortcut::defaultAction())),
        });
        if (modal) card = card.accessibilityElement(AccessibilityChildBehavior::contain).accessibilityAddTraits(AccessibilityTrait::isModal);
        TextFieldOptions options;
        options.onSubmit = [&] { pressed = "field"; };
        View field = TextField("Name", Binding<std::string>([&] { return name; }, [&](std::string v) { name = v; }), options)
                         .accessibilityIdentifier("name");
        return ZStack({field.accessibilityAction("Clear", [&] { name.clear(); }), card});
    });
    const std::vector<std::tuple<bool, int, std::string>> cases = {
        {true, Qt::Key_Return, "share"}, {true, Qt::Key_Escape, "not now"}, {false, Qt::Key_Return, "field"}};
    for (const auto& [isModal, key, expected] : cases) {
        modal = isModal;
        pressed.clear();
        rig.host.setNeedsRebuild();
        rig.settle();
        rig.host.setFocus({});
        const Rect f = rig.find("name")->frame;
        rig.tester.tapAt({f.x + 4, f.y + 4});
        rig.type("x");
        rig.key(key);
        EXPECT_EQ(pressed, expected) << "modal " << isModal << " key " << key;
    }
    EXPECT_TRUE(rig.tester.performAction("name", "Clear"));
    EXPECT_EQ(name, "");

    // A button with the focus takes Return, as it takes Space.
    modal = true;
    pressed.clear();
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.host.setFocus({});
    rig.key(Qt::Key_Tab);  // the card's first control
    rig.key(Qt::Key_Return);
    EXPECT_EQ(pressed, "not now");
}

TEST(Animations, RepeatingForeverRunsBackAndForth)
{
    const Animation pulse = Animation::linear(1).repeatForever();
    const Animation loop = Animation::linear(1).repeatForever(false);
    const std::vector<std::tuple<double, double, double>> cases = {
        // elapsed, pulse, loop
        {0.25, 0.25, 0.25}, {1.25, 0.75, 0.25}, {2.5, 0.5, 0.5}, {3.75, 0.25, 0.75}};
    for (const auto& [t, p, l] : cases) {
        EXPECT_NEAR(pulse.progress(t), p, 1e-9) << t;
        EXPECT_NEAR(loop.progress(t), l, 1e-9) << t;
    }
    EXPECT_FALSE(pulse.isFinished(1e6));
}
