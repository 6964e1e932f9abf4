#include "ControlTestSupport.h"

using namespace controltest;

namespace {

// An owner with a sheet that can be busy, like a clean confirmation.
struct SheetOwner : Rig {
    bool shown = false;
    bool busy = false;
    int dismissed = 0;
    int cancels = 0;
    bool cancelThroughOwner = false;
    bool withNote = false;  // a button floating above the sheets at the foot of the window
    int noteTaps = 0;

    SheetOwner()
    {
        show([this] {
            Binding<bool> presented([this] { return shown; }, [this](bool v) {
                shown = v;
                host.setNeedsRebuild();
            });
            SheetOptions options;
            options.canClose = [this] { return !busy; };
            options.onDismiss = [this] { ++dismissed; };
            if (cancelThroughOwner)
                options.onCancel = [this] {
                    ++cancels;
                    busy = false;
                    shown = false;  // the owner stops its work and closes
                    host.setNeedsRebuild();
                };
            options.frame = FrameSpec{.minWidth = 300, .idealWidth = 340, .maxWidth = 400};
            View content = VStack({Text("Main content"),
                           Button("Open", [this] {
                               shown = true;
                               host.setNeedsRebuild();
                           }).accessibilityIdentifier("open")});
            if (withNote)
                content = content.modifier(
                    overlayAboveSheets(Button("Note", [this] { ++noteTaps; }).accessibilityIdentifier("note"), Alignment::bottom));
            return content
                .modifier(sheet(presented, [this] {
                    return VStack({Text("Confirm clean"),
                                   EnvironmentReader([](const EnvironmentValues& env) {
                                       auto dismiss = env.get<DismissKey>();
                                       return Button("Close", [dismiss] { dismiss(); });
                                   }).accessibilityIdentifier("close")})
                        .padding(24)
                        .frame(FrameSpec{.maxWidth = infinity})
                        .accessibilityIdentifier("sheet");
                }, options));
        });
    }
};

}  // namespace

TEST(Sheets, OpenByButtonAndCloseByItsDismissAction)
{
    SheetOwner o;
    EXPECT_FALSE(o.exists("sheet"));
    ASSERT_TRUE(o.tester.tap("open"));
    ASSERT_TRUE(o.exists("sheet"));
    EXPECT_EQ(o.host.layerCount(), 2u);
    // It eases in, then rests sized by its content within its frame bounds, centred in the window.
    EXPECT_LT(o.find("sheet")->frame.width, 340);
    EXPECT_GT(o.runFrames(), 3);
    const Rect f = o.find("sheet")->frame;
    EXPECT_DOUBLE_EQ(f.width, 340);
    EXPECT_NEAR(f.midX(), 240, 0.5);
    // The sheet is modal: the window's button beneath takes no taps.
    int before = o.dismissed;
    ASSERT_TRUE(o.tester.tap("close"));
    EXPECT_FALSE(o.shown);
    EXPECT_FALSE(o.exists("sheet"));
    EXPECT_EQ(o.host.layerCount(), 1u);
    EXPECT_EQ(o.dismissed, before + 1);
}

// Content floating above the sheets stays above one opened after it and takes
// the clicks that hit it; the rest, the keys and the count of layers are the sheet's.
TEST(Sheets, ContentFloatingAboveThemStaysOnTopAndLeavesTheRestToTheSheet)
{
    SheetOwner o;
    o.withNote = true;
    o.host.setNeedsRebuild();
    o.settle();
    ASSERT_TRUE(o.tester.tap("open"));
    o.runFrames();
    EXPECT_EQ(o.host.layerCount(), 2u);
    ASSERT_TRUE(o.tester.tap("note"));
    EXPECT_EQ(o.noteTaps, 1);
    EXPECT_TRUE(o.shown);
    o.tester.tapAt({10, 10});  // the scrim's, beside the note
    EXPECT_TRUE(o.shown);
    EXPECT_TRUE(o.tester.pressKey(Qt::Key_Escape));
    EXPECT_FALSE(o.shown);
    EXPECT_EQ(o.host.layerCount(), 1u);
    ASSERT_TRUE(o.tester.tap("note"));
    EXPECT_EQ(o.noteTaps, 2);
}

TEST(Sheets, ClosingFadesTheLastPictureOutUnlessMotionIsReduced)
{
    for (const bool reduce : {false, true}) {
        SheetOwner o;
        EnvironmentValues env;
        env.reduceMotion = reduce;
        o.host.setEnvironment(env);
        o.tester.tap("open");
        o.runFrames();
        ASSERT_TRUE(o.tester.tap("close"));
        EXPECT_FALSE(o.exists("sheet")) << "gone for events and accessibility at once";
        EXPECT_EQ(o.host.closingLayerCount(), reduce ? 0u : 1u);
        o.runFrames();
        EXPECT_EQ(o.host.closingLayerCount(), 0u);
    }
}

// A note at the window's foot takes a strip as high as it is: the content
// and an open sheet are laid out above it, whatever the note's height, and
// take the whole window again once it shows nothing. Its button comes last
// in the Tab order, the open sheet's buttons first, and Return presses it.
TEST(Sheets, ANoteAtTheFootLeavesTheContentAndSheetsTheRoomAboveIt)
{
    int noteTaps = 0, saves = 0;
    bool shown = false;
    double noteHeight = 60;
    Rig rig({480, 360});
    EnvironmentValues env;
    env.reduceMotion = true;
    rig.host.setEnvironment(env);
    rig.show([&] {
        Binding<bool> presented([&] { return shown; }, [&](bool v) {
            shown = v;
            rig.host.setNeedsRebuild();
        });
        const View note = noteHeight > 0 ? View(Button("Dismiss", [&] { ++noteTaps; }).frame(200, noteHeight).accessibilityIdentifier("note"))
                                         : View(EmptyView());
        return VStack({Spacer(), Button("Bottom", [] {}).accessibilityIdentifier("bottom")})
            .frame(FrameSpec{.maxWidth = infinity, .maxHeight = infinity})
            .modifier(sheet(presented, [&] {
                return VStack({Text("A long sheet"), Spacer(), Button("Save", [&] { ++saves; }).accessibilityIdentifier("save")})
                    .frame(FrameSpec{.idealHeight = 900})
                    .accessibilityIdentifier("sheet");
            }))
            .modifier(footAboveSheets(note));
    });
    for (const double height : {60.0, 150.0, 0.0}) {
        SCOPED_TRACE(height);
        noteHeight = height;
        shown = false;
        rig.host.setNeedsRebuild();
        rig.settle();
        EXPECT_DOUBLE_EQ(rig.host.footStrip(), height);
        EXPECT_DOUBLE_EQ(rig.find("bottom")->frame.maxY(), 360 - height);
        if (height > 0) {
            EXPECT_GE(rig.find("note")->frame.minY(), 360 - height);
            EXPECT_LE(rig.find("note")->frame.maxY(), 360);
        }
        shown = true;
        rig.host.setNeedsRebuild();
        rig.settle();
        EXPECT_LE(rig.find("save")->frame.maxY(), 360 - height) << "the sheet's foot above the note";
        EXPECT_GE(rig.find("sheet")->frame.minY(), 0);
    }

    noteHeight = 60;
    rig.host.setNeedsRebuild();
    rig.settle();
    // Tab, then the key that presses what has the focus, and who heard it.
    const std::pair<int, std::pair<int, int>> steps[] = {
        {Qt::Key_Return, {1, 0}},  // the sheet's button first
        {Qt::Key_Return, {1, 1}},  // then the note, above the open sheet
        {Qt::Key_Space, {2, 1}},   // and round again
        {Qt::Key_Space, {2, 2}},
    };
    for (const auto& [press, heard] : steps) {
        ASSERT_TRUE(rig.key(Qt::Key_Tab));
        ASSERT_TRUE(rig.key(press));
        EXPECT_EQ(std::make_pair(saves, noteTaps), heard);
        EXPECT_TRUE(shown);
    }
    EXPECT_TRUE(rig.key(Qt::Key_Escape));
    EXPECT_FALSE(shown) << "other keys still reach the sheet";
}

TEST(Sheets, EscapeClosesThroughTheBinding)
{
    SheetOwner o;
    o.tester.tap("open");
    ASSERT_TRUE(o.exists("sheet"));
    EXPECT_TRUE(o.key(Qt::Key_Escape));
    EXPECT_FALSE(o.shown) << "the owner's state says closed, not just the picture";
    EXPECT_FALSE(o.exists("sheet"));
    EXPECT_EQ(o.dismissed, 1);
}

TEST(Sheets, ABusyOwnerKeepsItsSheetOpen)
{
    SheetOwner o;
    o.tester.tap("open");
    o.busy = true;
    o.key(Qt::Key_Escape);
    EXPECT_TRUE(o.shown);
    EXPECT_TRUE(o.exists("sheet"));
    o.tester.tap("close");
    EXPECT_TRUE(o.exists("sheet")) << "the dismiss action is refused while busy";
    EXPECT_EQ(o.dismissed, 0);
    o.busy = false;
    o.tester.tap("close");
    EXPECT_FALSE(o.exists("sheet"));
}

TEST(Sheets, EscapeCancelsThroughTheOwnerWhenItAsks)
{
    SheetOwner o;
    o.cancelThroughOwner = true;
    o.host.setNeedsRebuild();
    o.tester.tap("open");
    o.busy = true;
    EXPECT_TRUE(o.key(Qt::Key_Escape));
    EXPECT_EQ(o.cancels, 1);
    EXPECT_FALSE(o.exists("sheet"));
    EXPECT_EQ(o.dismissed, 1);
}

TEST(Sheets, ModalSheetKeepsTapsFromTheWindow)
{
    SheetOwner o;
    int taps = 0;
    o.show([&] {
        return Button("Behind", [&] { ++taps; })
            .accessibilityIdentifier("behind")
            .modifier(sheet(Binding<bool>::constant(true), [] { return Text("Front").padding(10); }));
    });
    const Rect behind = o.find("behind")->frame;
    o.tester.tapAt({behind.midX(), behind.midY()});
    EXPECT_EQ(taps, 0);
}

TEST(Sheets, ItemSheetShowsTheItemAndClearsItOnClose)
{
    std::optional<std::string> project = "tidewell";
    Rig rig;
    rig.show([&] {
        Binding<std::optional<std::string>> item([&] { return project; }, [&](std::optional<std::string> v) {
            project = v;
            rig.host.setNeedsRebuild();
        });
        return Text("Projects").modifier(sheet<std::string>(item, [](const std::string& name) { return Text("Files of " + name).padding(20); }));
    });
    EXPECT_TRUE(rig.hasText("Files of tidewell"));
    rig.key(Qt::Key_Escape);
    EXPECT_FALSE(project.has_value());
    EXPECT_FALSE(rig.hasText("Files of tidewell"));
}

TEST(Sheets, ViewLeavingTheTreeTakesItsSheetAlong)
{
    bool owner = true;
    Rig rig;
    rig.show([&] {
        return ViewIf(owner, Text("Owner").modifier(sheet(Binding<bool>::constant(true), [] { return Text("Sheet"); })), Text("Other"));
    });
    EXPECT_TRUE(rig.hasText("Sheet"));
    owner = false;
    rig.host.setNeedsRebuild();
    rig.settle();
    EXPECT_FALSE(rig.hasText("Sheet"));
    EXPECT_EQ(rig.host.layerCount(), 1u);
}

TEST(Popovers, AnchorBesideTheirViewAndCloseOnAClickOutside)
{
    bool shown = false;
    Rig rig({600, 400});
    rig.show([&] {
        Binding<bool> b([&] { return shown; }, [&](bool v) {
            shown = v;
            rig.host.setNeedsRebuild();
        });
        return Button("Bell", [&] {
            shown = !shown;
            rig.host.setNeedsRebuild();
        }).accessibilityIdentifier("bell").modifier(popover(b, [] { return Text("The grove is quiet.").padding(12).accessibilityIdentifier("notices"); }, Edge::bottom));
    });
    rig.tester.tap("bell");
    ASSERT_TRUE(rig.exists("notices"));
    const Rect bell = rig.find("bell")->frame, card = rig.find("notices")->frame;
    EXPECT_GT(card.y, bell.maxY() + 8) << "room for the arrow";
    EXPECT_NEAR(card.midX(), bell.midX(), 1);
    // One arrow is placed, between the bell and the card, pointing at the bell.
    int arrows = 0;
    std::function<void(const Element&)> walk = [&](const Element& e) {
        if (e.placed && e.key.size() == 2 && e.key[0] == 'a') {
            ++arrows;
            EXPECT_GE(e.frame.y, bell.maxY());
            EXPECT_LE(e.frame.maxY(), card.y + 1);
        }
        for (auto& c : e.children) walk(*c);
    };
    for (const Element* e = rig.host.hitTest({card.midX(), card.midY()}); e; e = e->parent)
        if (!e->parent) walk(*e);
    EXPECT_EQ(arrows, 1);
    rig.tester.tapAt({5, 395});
    EXPECT_FALSE(shown);
    EXPECT_FALSE(rig.exists("notices"));
    rig.tester.tap("bell");
    EXPECT_TRUE(rig.key(Qt::Key_Escape));
    EXPECT_FALSE(shown);
}

TEST(Popovers, StayInsideTheWindow)
{
    // Near the bottom-right corner a popover below flips above and slides in.
    const Rect r = popoverFrame({560, 380, 30, 16}, {200, 100}, Edge::bottom, {600, 400});
    EXPECT_LE(r.maxX(), 600);
    EXPECT_LE(r.maxY(), 380);
    EXPECT_GE(r.x, 0);
    const Rect huge = popoverFrame({10, 10, 10, 10}, {900, 900}, Edge::trailing, {600, 400});
    EXPECT_EQ(huge.x, 0);
    EXPECT_EQ(huge.y, 0);
}

// A window whose views are all built inside a geometry reader builds them
// while it is laid out, so its popovers come and go during layout, with a
// note floating above them as the window's banner does.
TEST(Popovers, PresentedOrDismissedWhileTheWindowIsLaidOut)
{
    struct Case {
        const char* name;
        std::vector<bool> before, after;
    };
    const Case cases[] = {
        {"several open at once", {false, false, false, false}, {true, true, true, true}},
        {"all close at once", {true, true, true, true}, {false, false, false, false}},
        {"some close while others open", {true, false, true, false}, {false, true, false, true}},
        {"one opens beside one that stays", {true, false}, {true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<bool> shown = c.before;
        Rig rig({600, 400});
        EnvironmentValues env;
        env.reduceMotion = true;  // a closed layer leaves no picture behind
        rig.host.setEnvironment(env);
        rig.show([&] {
            return GeometryReader([&](const GeometryProxy&) {
                ViewList anchors;
                for (size_t i = 0; i < shown.size(); ++i) {
                    Binding<bool> b([&shown, i] { return bool(shown[i]); }, [&shown, &rig, i](bool v) {
                        shown[i] = v;
                        rig.host.setNeedsRebuild();
                    });
                    const std::string card = "card" + std::to_string(i);
                    anchors.push_back(Text("Anchor").modifier(popover(b, [card] { return Text(card).padding(8).accessibilityIdentifier(card); })));
                }
                return HStack(anchors).modifier(overlayAboveSheets(Text("Banner").accessibilityIdentifier("banner"), Alignment::bottom));
            });
        });
        const auto expectShown = [&](const std::vector<bool>& want) {
            size_t open = 0;
            for (size_t i = 0; i < want.size(); ++i) {
                EXPECT_EQ(rig.exists("card" + std::to_string(i)), bool(want[i])) << "card " << i;
                open += want[i];
            }
            EXPECT_EQ(rig.host.layerCount(), 1 + open);
            EXPECT_TRUE(rig.exists("banner"));
        };
        expectShown(c.before);
        shown = c.after;
        rig.host.setNeedsRebuild();
        rig.settle();
        expectShown(c.after);
    }
}

TEST(Alerts, ButtonsRunTheirActionsAndEscapeRunsCancel)
{
    bool shown = true;
    std::vector<std::string> log;
    Rig rig;
    rig.show([&] {
        Binding<bool> b([&] { return shown; }, [&](bool v) {
            shown = v;
            rig.host.setNeedsRebuild();
        });
        return Text("Window").modifier(alert("Move to Trash?", b,
                                             {{"Cancel", [&] { log.push_back("cancel"); }, ButtonRole::cancel},
                                              {"Move", [&] { log.push_back("move"); }, ButtonRole::destructive}},
                                             "Folders go to the Trash."));
    });
    EXPECT_TRUE(rig.hasText("Folders go to the Trash."));
    rig.key(Qt::Key_Escape);
    EXPECT_EQ(log, std::vector<std::string>{"cancel"});
    EXPECT_FALSE(shown);
    shown = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.key(Qt::Key_Return);
    EXPECT_EQ(log, (std::vector<std::string>{"cancel", "move"})) << "Return runs the first button that is not Cancel";
    shown = true;
    rig.host.setNeedsRebuild();
    rig.tester.tapText("Cancel");
    EXPECT_EQ(log.back(), "cancel");
    EXPECT_FALSE(rig.hasText("Move to Trash?"));
}

TEST(Sheets, EscapeReachesTheSheetWhateverFieldHasTheKeys)
{
    bool shown = false;
    std::string outside, inside;
    Rig rig;
    rig.show([&] {
        Binding<bool> b([&] { return shown; }, [&](bool v) {
            shown = v;
            rig.host.setNeedsRebuild();
        });
        return VStack({TextField("Search", Binding<std::string>([&] { return outside; }, [&](std::string v) { outside = v; })).accessibilityIdentifier("search")})
            .modifier(sheet(b, [&] {
                return TextField("Heading", Binding<std::string>([&] { return inside; }, [&](std::string v) { inside = v; }))
                    .frame(200, std::nullopt)
                    .padding(20)
                    .accessibilityIdentifier("heading");
            }));
    });
    // A field of the window holds the keys when the sheet opens.
    rig.tester.tap("search");
    shown = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.type("x");
    EXPECT_EQ(outside, "") << "the window under a sheet gets no keys";
    EXPECT_TRUE(rig.key(Qt::Key_Escape));
    EXPECT_FALSE(shown);
    // A field inside the sheet passes Escape on to the sheet.
    shown = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.tester.tap("heading");
    rig.type("hi");
    EXPECT_EQ(inside, "hi");
    EXPECT_TRUE(rig.key(Qt::Key_Escape));
    EXPECT_FALSE(shown);
}

TEST(Sheets, UnderReduceMotionASheetAppearsAtOnce)
{
    SheetOwner o;
    EnvironmentValues env;
    env.reduceMotion = true;
    o.host.setEnvironment(env);
    o.settle();
    o.tester.tap("open");
    EXPECT_FALSE(o.host.nextFrameDue());
    EXPECT_DOUBLE_EQ(o.find("sheet")->frame.width, 340);
}
