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
