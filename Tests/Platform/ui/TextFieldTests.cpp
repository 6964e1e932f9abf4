#include "ControlTestSupport.h"

#include <QClipboard>

using namespace controltest;

namespace {

struct FieldRig : Rig {
    std::string text;
    int submits = 0;
    std::optional<size_t> limit;
    FieldRig()
    {
        show([this] {
            return VStack({TextField("Search name or path", Binding<std::string>([this] { return text; }, [this](std::string v) { text = v; }),
                                     TextFieldOptions{limit, [this] { ++submits; }})
                               .accessibilityIdentifier("field"),
                           Text("below")});
        });
    }
    void focus() { ASSERT_TRUE(tester.tap("field")); }
};

}  // namespace

TEST(TextFields, TypingNeedsFocusAndFillsTheBinding)
{
    FieldRig rig;
    EXPECT_EQ(rig.find("field")->label, "Search name or path") << "the placeholder labels the empty field";
    EXPECT_FALSE(rig.key(0, "x")) << "keys go nowhere before the field is clicked";
    EXPECT_EQ(rig.text, "");
    rig.focus();
    rig.type("cargo");
    EXPECT_EQ(rig.text, "cargo");
    EXPECT_EQ(rig.find("field")->value, "cargo");
    rig.key(Qt::Key_Backspace);
    EXPECT_EQ(rig.text, "carg");
    rig.key(Qt::Key_Return);
    EXPECT_EQ(rig.submits, 1);
    EXPECT_FALSE(rig.key(Qt::Key_Escape)) << "Escape passes on to the sheet or window";
}

TEST(TextFields, LimitCountsUserVisibleCharacters)
{
    FieldRig rig;
    rig.limit = 5;
    rig.host.setNeedsRebuild();
    rig.focus();
    // "é" as e + combining accent, a flag, and a family emoji each count once.
    rig.type("e\xCC\x81");
    rig.key(0, "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
    rig.key(0, "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
    rig.type("abcd");
    EXPECT_EQ(characterCount(rig.text), 5u);
    EXPECT_EQ(rig.text, "e\xCC\x81\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7" "ab");
    // Backspace removes a whole character, never half an emoji.
    rig.key(Qt::Key_Backspace);
    rig.key(Qt::Key_Backspace);
    rig.key(Qt::Key_Backspace);
    EXPECT_EQ(rig.text, "e\xCC\x81\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7");
}

TEST(TextFields, SelectionCopyCutAndPasteKeepToTheLimit)
{
    FieldRig rig;
    rig.limit = 8;
    rig.host.setNeedsRebuild();
    rig.focus();
    rig.type("hello");
    rig.key(Qt::Key_A, "", Qt::ControlModifier);
    rig.key(Qt::Key_C, "", Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "hello");
    rig.key(Qt::Key_End);
    rig.key(Qt::Key_V, "", Qt::ControlModifier);
    EXPECT_EQ(rig.text, "hellohel") << "a paste keeps what fits";
    rig.key(Qt::Key_Home);
    rig.key(Qt::Key_Right, "", Qt::ShiftModifier);
    rig.key(Qt::Key_Right, "", Qt::ShiftModifier);
    rig.key(Qt::Key_X, "", Qt::ControlModifier);
    EXPECT_EQ(rig.text, "llohel");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "he");
    // Typing over a selection replaces it.
    rig.key(Qt::Key_A, "", Qt::ControlModifier);
    rig.type("x");
    EXPECT_EQ(rig.text, "x");
}

TEST(TextEditing, PastedLineBreaksBecomeSpacesAndTheCaretStaysInside)
{
    TextEditState s{"ab", 1, 1};
    insertText(s, "1\n2\t3", std::nullopt);
    EXPECT_EQ(s.text, "a1 2 3b");
    EXPECT_EQ(s.caret, 6u);
    // A caret left past the end (the binding shrank) is pulled back.
    TextEditState shrunk{"ab", 9, 9};
    EXPECT_EQ(applyTextKey(shrunk, Qt::Key_Backspace, "", 0, std::nullopt), TextEditResult::handled);
    EXPECT_EQ(shrunk.text, "a");
    // Control characters are not text.
    TextEditState c{"", 0, 0};
    EXPECT_EQ(applyTextKey(c, 0, "\x01", 0, std::nullopt), TextEditResult::ignored);
    EXPECT_EQ(c.text, "");
    // A zero limit takes nothing.
    insertText(c, "abc", 0);
    EXPECT_EQ(c.text, "");
}

TEST(TextFields, ClickingElsewhereTakesTheKeysAway)
{
    FieldRig rig;
    rig.focus();
    rig.type("ab");
    ASSERT_TRUE(rig.tester.tapText("below"));
    EXPECT_FALSE(rig.key(0, "c"));
    EXPECT_EQ(rig.text, "ab");
}

TEST(TextFields, AClickPutsTheCaretAtTheNearestBoundary)
{
    FieldRig rig;
    rig.focus();
    rig.type("abcdef");
    const Rect f = rig.find("field")->frame;
    // Just inside the leading edge: before the first character.
    const Point start{f.x + 7, f.midY()};
    rig.tester.hover(start);
    rig.tester.tapAt(start);
    rig.type("X");
    EXPECT_EQ(rig.text, "Xabcdef");
    EXPECT_EQ(caretIndexAt({0, 7, 14, 21}, 9), 1u);
    EXPECT_EQ(caretIndexAt({0, 7, 14, 21}, 500), 3u);
    EXPECT_EQ(caretIndexAt({0}, -3), 0u);
}

TEST(TextFields, LongTextScrollsToKeepTheCaretInView)
{
    // Caret past the right edge: shift just enough; back at the start: no shift.
    EXPECT_DOUBLE_EQ(scrollToShow(300, 300, 102, 0), 200);
    EXPECT_DOUBLE_EQ(scrollToShow(250, 300, 102, 200), 200) << "no move while the caret is visible";
    EXPECT_DOUBLE_EQ(scrollToShow(0, 300, 102, 200), 0);
    EXPECT_DOUBLE_EQ(scrollToShow(40, 50, 102, 80), 0) << "short text never stays shifted";
    FieldRig rig;
    rig.focus();
    rig.type(std::string(80, 'w'));
    // The caret is drawn inside the field's frame.
    const Rect f = rig.find("field")->frame;
    bool caretInside = false;
    std::function<void(const Element&)> walk = [&](const Element& e) {
        const Rect v = visualFrame(e);
        if (std::abs(v.width - 1) < 1e-9 && v.height > 5) caretInside = v.x >= f.x && v.maxX() <= f.maxX();
        for (auto& c : e.children) walk(*c);
    };
    walk(*rig.host.rootElement());
    EXPECT_TRUE(caretInside);
}

TEST(TextFields, FocusStateFollowsTheUserAndTheOwner)
{
    // As a name field that commits when it loses the keys.
    std::string name;
    bool focused = false;
    std::vector<bool> changes;
    Rig rig;
    rig.show([&] {
        Binding<bool> focus([&] { return focused; }, [&](bool v) {
            focused = v;
            changes.push_back(v);
        });
        return VStack({TextField("Name", Binding<std::string>([&] { return name; }, [&](std::string v) { name = v; }),
                                 TextFieldOptions{std::nullopt, nullptr, focus})
                           .accessibilityIdentifier("name"),
                       Text("elsewhere")});
    });
    // The owner gives the field the keys without a click.
    focused = true;
    rig.host.setNeedsRebuild();
    rig.settle();
    rig.type("Otter");
    EXPECT_EQ(name, "Otter");
    EXPECT_TRUE(changes.empty()) << "the owner's own change is not echoed back";
    // A click elsewhere takes the keys and tells the owner once.
    rig.tester.tapText("elsewhere");
    EXPECT_FALSE(focused);
    EXPECT_EQ(changes, std::vector<bool>{false});
    rig.type("x");
    EXPECT_EQ(name, "Otter");
    // A click on the field gives them back and tells the owner.
    rig.tester.tap("name");
    EXPECT_TRUE(focused);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

TEST(TextEditing, WrappedLinesMapBackToCharacters)
{
    const auto chars = splitCharacters("one two three");
    // A layout that broke after "two" and dropped the space there.
    auto lines = wrappedLineRanges(chars, {"one two", "three"});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].start, 0u);
    EXPECT_EQ(lines[0].end, 7u);
    EXPECT_EQ(lines[1].start, 8u);
    EXPECT_EQ(lines[1].end, 13u);
    EXPECT_EQ(lineOfCaret(lines, 7), 0u);
    EXPECT_EQ(lineOfCaret(lines, 8), 1u);
    EXPECT_EQ(lineOfCaret(lines, 13), 1u);
    // Nothing laid out: one empty line.
    EXPECT_EQ(wrappedLineRanges({}, {}).size(), 1u);
}

TEST(TextFields, AGrowingFieldShowsTwoToThreeLines)
{
    std::string heading;
    Rig rig({400, 300});
    rig.show([&] {
        TextFieldOptions o;
        o.lines = std::pair{2, 3};
        return TextField("Heading", Binding<std::string>([&] { return heading; }, [&](std::string v) { heading = v; }), o)
            .frame(200, std::nullopt)
            .accessibilityIdentifier("heading");
    });
    const double empty = rig.find("heading")->frame.height;
    rig.tester.tap("heading");
    rig.type("I moved a lot of build folders to the Trash today and it felt great");
    const double full = rig.find("heading")->frame.height;
    EXPECT_GT(full, empty) << "grows to a third line";
    EXPECT_LT(full, empty * 1.6) << "but not past three lines";
    rig.type(" and then some more words to push it further");
    EXPECT_DOUBLE_EQ(rig.find("heading")->frame.height, full) << "longer text scrolls instead";
    // The caret stays inside the field.
    const Rect f = rig.find("heading")->frame;
    bool caretInside = false;
    std::function<void(const Element&)> walk = [&](const Element& e) {
        const Rect v = visualFrame(e);
        if (std::abs(v.width - 1) < 1e-9 && v.height > 5) caretInside = v.y >= f.y && v.maxY() <= f.maxY() + 0.5;
        for (auto& c : e.children) walk(*c);
    };
    walk(*rig.host.rootElement());
    EXPECT_TRUE(caretInside);
}

TEST(Keyboard, TabWalksTheControlsInReadingOrderAndSpacePressesTheFocusedOne)
{
    std::string text = "one two";
    int presses = 0;
    bool on = false;
    Rig rig;
    rig.show([&] {
        return VStack({
            TextField("Name", Binding<std::string>([&] { return text; }, [&](std::string v) { text = v; })).accessibilityIdentifier("field"),
            Button("Go", [&] { ++presses; }),
            Toggle("Idle only", Binding<bool>([&] { return on; }, [&](bool v) { on = v; })),
            Button("Off", [] {}).disabled(true),
        });
    });
    rig.key(Qt::Key_Tab);
    EXPECT_TRUE(rig.host.focusRingVisible());
    rig.type("!");
    EXPECT_EQ(text, "one two!") << "Tab put the keys in the field first";
    // Up and Down move to the ends of a one-line field; Shift selects on the way.
    rig.key(Qt::Key_Up);
    rig.key(Qt::Key_Down, {}, Qt::ShiftModifier);
    rig.type("x");
    EXPECT_EQ(text, "x");
    const std::vector<std::pair<unsigned, std::function<bool()>>> steps = {
        {0, [&] { return presses == 1; }},                     // Tab: the button
        {0, [&] { return on; }},                               // Tab: the toggle (the disabled button is passed over)
        {0, [&] { return text == "x "; }},                     // Tab wraps to the field, where Space types
        {Qt::ShiftModifier, [&] { return !on; }},              // Shift+Tab: back to the toggle
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        rig.key(Qt::Key_Tab, {}, steps[i].first);
        rig.key(Qt::Key_Space, " ");
        EXPECT_TRUE(steps[i].second()) << "step " << i;
    }
}

TEST(TextEditing, UpAndDownKeepTheColumnAcrossWrappedLines)
{
    const std::vector<WrappedLine> lines = {{0, 10}, {11, 15}, {15, 30}};
    const std::vector<std::tuple<size_t, bool, size_t>> cases = {
        {3, true, 14}, {8, true, 15}, {12, false, 1}, {2, false, 0}, {20, true, 30}, {20, false, 15}};
    for (const auto& [caret, down, expected] : cases)
        EXPECT_EQ(caretOnAdjacentLine(lines, caret, down), expected) << caret << (down ? " down" : " up");
}
