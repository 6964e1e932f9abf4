#include "KitViewTesting.h"

#include "kit/ForestButton.h"
#include "kit/ForestIconButton.h"
#include "kit/ReclaimButton.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/Theme.h"

using namespace kittest;
using tidewell::ForestButton;
using Tone = ForestButton::Tone;

namespace {

ForestButton button(Tone tone, std::function<void()> action = {}, std::optional<std::string> image = std::nullopt,
                    ControlSize size = ControlSize::regular, bool expand = false) {
    return ForestButton{"Clean", std::move(image), tone, size, expand, std::move(action)};
}

View tagged(const ForestButton& b) { return b.body().accessibilityIdentifier("button"); }

// A point of the button's face beside its label.
QColor faceAt(Laid& laid) {
    const Rect f = laid.frame("button");
    return pixel(laid.render(), f.x + 4, f.midY());
}

// The frame of the text view itself (the button's element carries the same label).
Rect textFrame(Laid& laid, const std::string& text) {
    const Element* root = laid.host->rootElement();
    const Element* e = root ? findElement(*root, [&](const Element& x) { return textOfNode(x.node.get()) == text; }) : nullptr;
    EXPECT_NE(e, nullptr) << text;
    return e ? visualFrame(*e) : Rect{};
}

double titleX(Laid& laid, const std::string& title) { return textFrame(laid, title).x; }

}  // namespace

TEST(ForestButton, ProminentTonesFillTheFaceWithTheirColour) {
    struct Case {
        Tone tone;
        Color colour;
    };
    for (const Case& c : {Case{Tone::accent, tidewell::Theme::accent()}, Case{Tone::reclaim, tidewell::Theme::reclaim()},
                          Case{Tone::caution, tidewell::Theme::caution()}}) {
        SCOPED_TRACE(int(c.tone));
        auto laid = layOut(tagged(button(c.tone)), {200, 60});
        const RGBA expected = c.colour.resolve(ColorScheme::light);
        const QColor face = faceAt(*laid);
        EXPECT_EQ(face.alpha(), 255);
        EXPECT_TRUE(near(face, expected.red, expected.green, expected.blue, 3));
    }
}

TEST(ForestButton, SecondaryTakesNoTintAndGhostHasNoFaceButAnAccentTitle) {
    auto secondary = layOut(tagged(button(Tone::secondary)), {200, 60});
    const QColor face = faceAt(*secondary);
    EXPECT_GT(face.alpha(), 0) << "a bordered face";
    EXPECT_LT(face.alpha(), 128) << "a light neutral face, not a coloured fill";

    auto ghost = layOut(tagged(button(Tone::ghost)), {200, 60});
    const QImage image = ghost->render(2);
    const Rect f = ghost->frame("button");
    int inked = 0, area = 0;
    for (int y = int(f.y * 2); y < int(f.maxY() * 2); ++y)
        for (int x = int(f.x * 2); x < int(f.maxX() * 2); ++x, ++area) inked += pixel(image, x, y).alpha() > 0;
    EXPECT_LT(inked, area / 2) << "only the title is drawn, no face behind it";
    const RGBA accent = tidewell::Theme::accent().resolve(ColorScheme::light);
    const QRect ink = boundsOf(image, [&](const QColor& c) { return c.alpha() > 200 && near(c, accent.red, accent.green, accent.blue, 10); });
    EXPECT_FALSE(ink.isEmpty()) << "the title in the accent colour";
}

TEST(ForestButton, ATapRunsTheActionUnlessTheButtonIsDisabled) {
    int taps = 0;
    auto enabled = layOut(tagged(button(Tone::accent, [&] { ++taps; })), {200, 60});
    EXPECT_TRUE(enabled->tester.tap("button"));
    EXPECT_EQ(taps, 1);
    const Rect f = enabled->frame("button");
    EXPECT_EQ(enabled->host->cursorAt({f.x + 2, f.midY()}), CursorShape::pointingHand) << "the hand over all of it";

    auto disabled = layOut(button(Tone::accent, [&] { ++taps; }).body().disabled(true).accessibilityIdentifier("button"),
                           {200, 60});
    EXPECT_TRUE(disabled->tester.tap("button"));
    EXPECT_EQ(taps, 1) << "a disabled button does nothing";
    const QColor face = faceAt(*disabled);
    EXPECT_LT(face.alpha(), 200) << "the platform style dims it";
}

TEST(ForestButton, OnlyALargeButtonTakesTheFifteenPointFont) {
    EXPECT_DOUBLE_EQ(tidewell::forestButtonFont(ControlSize::large).size(), 15);
    for (auto size : {ControlSize::mini, ControlSize::small, ControlSize::regular})
        EXPECT_DOUBLE_EQ(tidewell::forestButtonFont(size).size(), 13);
    // The ghost tone takes no control size, yet its font follows the size.
    auto small = layOut(tagged(button(Tone::ghost, {}, std::nullopt, ControlSize::regular)), {300, 60});
    auto large = layOut(tagged(button(Tone::ghost, {}, std::nullopt, ControlSize::large)), {300, 60});
    EXPECT_GT(textFrame(*large, "Clean").width, textFrame(*small, "Clean").width);
}

TEST(ForestButton, AnImageTakesRoomOnlyWhenThereIsOne) {
    auto plain = layOut(tagged(button(Tone::accent)), {300, 60});
    auto withImage = layOut(tagged(button(Tone::accent, {}, "arrow.clockwise")), {300, 60});
    const double plainInset = titleX(*plain, "Clean") - plain->frame("button").x;
    const double imageInset = titleX(*withImage, "Clean") - withImage->frame("button").x;
    EXPECT_NEAR(imageInset - plainInset, 16 + 6, 0.01) << "a 16-point image and 6 points of spacing";
}

TEST(ForestButton, AnExpandedButtonTakesTheWidthAndCentresItsLabel) {
    auto expanded = layOut(tagged(button(Tone::accent, {}, "arrow.clockwise", ControlSize::regular, true)), {300, 60});
    const Rect f = expanded->frame("button");
    EXPECT_DOUBLE_EQ(f.width, 300);
    const Rect title = textFrame(*expanded, "Clean");
    // Icon (16) + spacing (6) + title, centred as one group.
    const double groupMid = (title.x - 22 + title.maxX()) / 2;
    EXPECT_NEAR(groupMid, f.midX(), 0.5);

    auto compact = layOut(tagged(button(Tone::accent)), {300, 60});
    EXPECT_LT(compact->frame("button").width, 120) << "without expand, as wide as its content";
}

TEST(ForestButton, ALongTitleStaysOnOneLine) {
    ForestButton b{std::string(80, 'W'), std::nullopt, Tone::accent, ControlSize::regular, false, {}};
    auto laid = layOut(b.body().frame(160, std::nullopt), {300, 80});
    const Element* root = laid->host->rootElement();
    const Element* text = findElement(*root, [&](const Element& e) { return textOfNode(e.node.get()) == b.title; });
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(textLinesOf(*text).size(), 1u);
}

TEST(SoftPressButtonStyle, PressingShrinksTheFaceExceptUnderReduceMotion) {
    EXPECT_DOUBLE_EQ(tidewell::softPressScale(true, false), 0.98);
    EXPECT_DOUBLE_EQ(tidewell::softPressScale(false, false), 1.0);
    EXPECT_DOUBLE_EQ(tidewell::softPressScale(true, true), 1.0);

    // As drawn: the face settles at 0.98 while held, and keeps its size
    // under reduce motion.
    for (bool reduceMotion : {false, true}) {
        SCOPED_TRACE(reduceMotion);
        EnvironmentValues env;
        env.reduceMotion = reduceMotion;
        double now = 0;
        auto laid = std::make_unique<Laid>();
        laid->host->setScheduler(nullptr);
        laid->host->setClock([&now] { return now; });
        laid->host->setEnvironment(env);
        laid->host->setSize({200, 100});
        laid->host->setRootView(tidewell::softPressButtonStyle(Button(View(Color::red()).frame(100, 40), [] {})));
        laid->tester.settle();
        auto redBox = [&] {
            const QRect px = boundsOf(laid->render(2), [](const QColor& c) { return c.alpha() > 128 && c.red() > 200 && c.green() < 60; });
            return Rect{px.x() / 2.0, px.y() / 2.0, px.width() / 2.0, px.height() / 2.0};
        };
        const Rect before = redBox();
        ASSERT_NEAR(before.width, 100, 0.01);
        const Point centre{before.midX(), before.midY()};
        laid->host->pointerPress(centre);
        laid->host->setNeedsRebuild();
        laid->tester.settle();
        now = 5;  // long after any spring has settled
        laid->host->setNeedsRebuild();
        laid->tester.settle();
        const Rect held = redBox();
        EXPECT_NEAR(held.width, reduceMotion ? 100 : 98, 1.0);
        EXPECT_NEAR(held.midX(), before.midX(), 0.5) << "about its centre";
        laid->host->pointerRelease(centre);
    }
}

TEST(ForestIconButton, CarriesItsTooltipAndLabelVerbatimAndRunsItsAction) {
    int taps = 0;
    auto laid = layOut(tidewell::ForestIconButton{"gearshape", "Open %@ settings", "Settings", [&] { ++taps; }}.body(),
                       {100, 60});
    auto node = laid->tester.findText("Settings");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->hasTrait(AccessibilityTrait::button));
    EXPECT_GE(node->frame.width, 18);
    EXPECT_GE(node->frame.height, 18);
    EXPECT_EQ(laid->host->tooltipAt({node->frame.midX(), node->frame.midY()}),
              std::optional<std::string>("Open %@ settings"));
    laid->tester.tap(*node);
    EXPECT_EQ(taps, 1);
}

TEST(ReclaimButton, IsARegularForestButtonInTheReclaimOrCautionTone) {
    for (bool caution : {false, true}) {
        SCOPED_TRACE(caution);
        auto laid = layOut(tidewell::ReclaimButton{"Clean", caution, [] {}}.body().accessibilityIdentifier("button"),
                           {200, 60});
        auto reference = layOut(tagged(button(caution ? Tone::caution : Tone::reclaim)), {200, 60});
        EXPECT_EQ(laid->frame("button"), reference->frame("button"));
        EXPECT_EQ(faceAt(*laid), faceAt(*reference));
    }
}
