#include "KitViewTesting.h"

#include "kit/ForestButton.h"
#include "kit/ForestIconButton.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/Theme.h"

using namespace kittest;
using tidewell::ForestButton;
using Tone = ForestButton::Tone;

namespace {

std::unique_ptr<Laid> button(Tone tone, std::optional<std::string> image = std::nullopt,
                             ControlSize size = ControlSize::regular, bool expand = false, std::function<void()> action = {}) {
    return layOut(ForestButton{"Clean", std::move(image), tone, size, expand, std::move(action)}.body().accessibilityIdentifier("button"),
                  {300, 60});
}

// A point of the button's face beside its label.
QColor faceAt(Laid& laid) {
    const Rect f = laid.frame("button");
    return pixel(laid.render(), f.x + 4, f.midY());
}

// The frame of the text view itself (the button's element carries the same label).
Rect textFrame(Laid& laid, const std::string& text = "Clean") {
    const Element* e = findElement(*laid.host->rootElement(), [&](const Element& x) { return textOfNode(x.node.get()) == text; });
    EXPECT_NE(e, nullptr) << text;
    return e ? visualFrame(*e) : Rect{};
}

}  // namespace

TEST(ForestButton, EachToneDrawsItsFace) {
    for (const auto& [tone, colour] : {std::pair{Tone::accent, tidewell::Theme::accent()},
                                       {Tone::reclaim, tidewell::Theme::reclaim()}, {Tone::caution, tidewell::Theme::caution()}}) {
        const RGBA expected = colour.resolve(ColorScheme::light);
        const QColor face = faceAt(*button(tone));
        EXPECT_EQ(face.alpha(), 255) << int(tone);
        EXPECT_TRUE(near(face, expected.red, expected.green, expected.blue, 3)) << int(tone);
    }
    const QColor secondary = faceAt(*button(Tone::secondary));
    EXPECT_GT(secondary.alpha(), 0) << "a bordered face";
    EXPECT_LT(secondary.alpha(), 128) << "a light neutral face, not a coloured fill";

    // The ghost tone draws only its title, in the accent colour.
    auto ghost = button(Tone::ghost);
    const QImage image = ghost->render(2);
    const Rect f = ghost->frame("button");
    int inked = 0, area = 0;
    for (int y = int(f.y * 2); y < int(f.maxY() * 2); ++y)
        for (int x = int(f.x * 2); x < int(f.maxX() * 2); ++x, ++area) inked += pixel(image, x, y).alpha() > 0;
    EXPECT_LT(inked, area / 2) << "no face behind the title";
    const RGBA accent = tidewell::Theme::accent().resolve(ColorScheme::light);
    EXPECT_FALSE(boundsOf(image, [&](const QColor& c) { return c.alpha() > 200 && near(c, accent.red, accent.green, accent.blue, 10); }).isEmpty());
}

TEST(ForestButton, ATapRunsTheActionUnlessTheButtonIsDisabled) {
    int taps = 0;
    auto enabled = button(Tone::accent, std::nullopt, ControlSize::regular, false, [&] { ++taps; });
    EXPECT_TRUE(enabled->tester.tap("button"));
    EXPECT_EQ(taps, 1);
    const Rect f = enabled->frame("button");
    EXPECT_EQ(enabled->host->cursorAt({f.x + 2, f.midY()}), CursorShape::pointingHand) << "the hand over all of it";

    auto disabled = layOut(ForestButton{"Clean", std::nullopt, Tone::accent, ControlSize::regular, false, [&] { ++taps; }}
                               .body().disabled(true).accessibilityIdentifier("button"), {200, 60});
    EXPECT_TRUE(disabled->tester.tap("button"));
    EXPECT_EQ(taps, 1) << "a disabled button does nothing";
    EXPECT_LT(faceAt(*disabled).alpha(), 200) << "the platform style dims it";
}

TEST(ForestButton, SizeImageAndExpansionShapeTheLabel) {
    // The ghost tone takes no control size, yet its font follows the size.
    EXPECT_GT(textFrame(*button(Tone::ghost, std::nullopt, ControlSize::large)).width, textFrame(*button(Tone::ghost)).width);


    auto expanded = button(Tone::accent, "arrow.clockwise", ControlSize::regular, true);
    const Rect f = expanded->frame("button"), title = textFrame(*expanded);
    EXPECT_DOUBLE_EQ(f.width, 300);
    EXPECT_NEAR((title.x - 22 + title.maxX()) / 2, f.midX(), 0.5) << "icon and title centred as one group";

    ForestButton longTitle{std::string(80, 'W'), std::nullopt, Tone::accent, ControlSize::regular, false, {}};
    auto laid = layOut(longTitle.body().frame(160, std::nullopt), {300, 80});
    const Element* text = findElement(*laid->host->rootElement(), [&](const Element& e) { return textOfNode(e.node.get()) == longTitle.title; });
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(textLinesOf(*text).size(), 1u) << "a long title stays on one line";
}

TEST(SoftPressButtonStyle, PressingShrinksTheFaceAboutItsCentreExceptUnderReduceMotion) {
    for (bool reduceMotion : {false, true}) {
        SCOPED_TRACE(reduceMotion);
        EnvironmentValues env;
        env.reduceMotion = reduceMotion;
        double now = 0;
        Laid laid;
        laid.host->setScheduler(nullptr);
        laid.host->setClock([&now] { return now; });
        laid.host->setEnvironment(env);
        laid.host->setSize({200, 100});
        laid.host->setRootView(tidewell::softPressButtonStyle(Button(View(Color::red()).frame(100, 40), [] {})));
        auto redBox = [&] {
            laid.host->setNeedsRebuild();
            laid.tester.settle();
            const QRect px = boundsOf(laid.render(2), [](const QColor& c) { return c.alpha() > 128 && c.red() > 200 && c.green() < 60; });
            return Rect{px.x() / 2.0, px.y() / 2.0, px.width() / 2.0, px.height() / 2.0};
        };
        const Rect before = redBox();
        ASSERT_NEAR(before.width, 100, 0.01);
        laid.host->pointerPress({before.midX(), before.midY()});
        redBox();
        now = 5;  // long after any spring has settled
        const Rect held = redBox();
        EXPECT_NEAR(held.width, reduceMotion ? 100 : 98, 1.0);
        EXPECT_NEAR(held.midX(), before.midX(), 0.5) << "about its centre";
        laid.host->pointerRelease({before.midX(), before.midY()});
    }
}

TEST(ForestIconButton, CarriesItsTooltipAndLabelVerbatimAndRunsItsAction) {
    int taps = 0;
    auto laid = layOut(tidewell::ForestIconButton{"gearshape", "Open %@ settings", "Settings", [&] { ++taps; }}.body(), {100, 60});
    auto node = laid->tester.findText("Settings");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->hasTrait(AccessibilityTrait::button));
    EXPECT_EQ(laid->host->tooltipAt({node->frame.midX(), node->frame.midY()}), std::optional<std::string>("Open %@ settings"));
    laid->tester.tap(*node);
    EXPECT_EQ(taps, 1);
}

