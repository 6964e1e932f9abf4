#include "UITestSupport.h"

#include <QFontMetricsF>

#include "ui/Inspect.h"
#include "ui/TextLayout.h"

using namespace uitest;

namespace {

// Every character is 10 points wide: the rules without fonts.
double tenEach(const QString& s) { return 10.0 * s.size(); }

TextLines lay(const QString& text, double width, std::optional<int> limit = std::nullopt,
              TruncationMode mode = TruncationMode::tail, std::optional<double> maxHeight = std::nullopt)
{
    TextLayoutRequest r;
    r.text = text;
    r.maxWidth = width;
    r.lineLimit = limit;
    r.truncation = mode;
    r.maxHeight = maxHeight;
    r.lineHeight = 10;
    return layoutText(r, tenEach);
}

std::vector<QString> lines(const TextLines& t) { return t.lines; }

const Element* textElement(Laid& laid, const std::string& text)
{
    return findElement(*laid.host->rootElement(), [&](const Element& e) { return textOfNode(e.node.get()) == text; });
}

}  // namespace

TEST(TextLines, WrapsAtSpacesAndKeepsWordsWhole)
{
    EXPECT_EQ(lines(lay("aaa bbb ccc", 80)), (std::vector<QString>{"aaa bbb", "ccc"}));
    EXPECT_EQ(lines(lay("aaa bbb ccc", 1000)), (std::vector<QString>{"aaa bbb ccc"}));
    EXPECT_EQ(lines(lay("aaa\nbbb", 1000)), (std::vector<QString>{"aaa", "bbb"}));
    // A word wider than the line is broken between characters.
    EXPECT_EQ(lines(lay("abcdefgh", 30)), (std::vector<QString>{"abc", "def", "gh"}));
    EXPECT_EQ(lay("", 50).lines.size(), 1u);
}

TEST(TextLines, TailTruncationOnTheLastAllowedLine)
{
    auto t = lay("aaa bbb ccc ddd", 80, 1);
    ASSERT_EQ(t.lines.size(), 1u);
    EXPECT_TRUE(t.truncated);
    EXPECT_TRUE(t.lines[0].endsWith(QStringLiteral("\u2026")));
    EXPECT_LE(t.width, 80);

    auto two = lay("aaa bbb ccc ddd eee", 80, 2);
    ASSERT_EQ(two.lines.size(), 2u);
    EXPECT_EQ(two.lines[0], "aaa bbb");
    EXPECT_TRUE(two.lines[1].startsWith("ccc"));
    EXPECT_TRUE(two.lines[1].endsWith(QStringLiteral("\u2026")));
}

TEST(TextLines, SpacesAtALineEndNeitherTakeRoomNorStandBeforeTheEllipsis)
{
    // "aa bb" fits 50 points; the space after it would not, and must not push "bb" down.
    EXPECT_EQ(lines(lay("aa bb cc", 50)), (std::vector<QString>{"aa bb", "cc"}));
    EXPECT_EQ(lines(lay("aa   bb cc", 50)), (std::vector<QString>{"aa", "bb cc"}));
    EXPECT_EQ(lay("aaa bbb ccc ddd", 90, 1).lines[0], QStringLiteral("aaa bbb\u2026"));
    EXPECT_EQ(lay("aaa bbb ccc ddd eee", 90, 2).lines[1], QStringLiteral("ccc ddd\u2026"));
}

TEST(TextLines, MiddleAndHeadTruncationKeepBothEndsOrTheEnd)
{
    auto middle = lay("/home/user/projects/app/node_modules", 120, 1, TruncationMode::middle);
    ASSERT_EQ(middle.lines.size(), 1u);
    EXPECT_TRUE(middle.lines[0].startsWith("/home"));
    EXPECT_TRUE(middle.lines[0].endsWith("ules"));
    EXPECT_TRUE(middle.lines[0].contains(QStringLiteral("\u2026")));
    EXPECT_LE(middle.width, 120);

    auto head = lay("abcdefghij", 50, 1, TruncationMode::head);
    EXPECT_EQ(head.lines[0], QStringLiteral("\u2026ghij"));
}

TEST(TextLines, HeightLimitsTheLinesButShowsAtLeastOne)
{
    EXPECT_EQ(lay("aaa bbb ccc", 30, std::nullopt, TruncationMode::tail, 25.0).lines.size(), 2u);
    EXPECT_EQ(lay("aaa bbb ccc", 30, std::nullopt, TruncationMode::tail, 3.0).lines.size(), 1u);
}

TEST(TextLines, NothingButTheEllipsisWhenNoRoom)
{
    EXPECT_EQ(elide("abcdef", 5, TruncationMode::tail, tenEach), QStringLiteral("\u2026"));
    EXPECT_EQ(elide("abc", 100, TruncationMode::tail, tenEach), "abc");
}

TEST(TextView, LineLimitTruncatesInANarrowFrame)
{
    const std::string text = "Fraunces falls back to the serif design";
    auto laid = layOut(Text(text).lineLimit(1).frame(90, std::nullopt), {400, 200});
    const Element* e = textElement(*laid, text);
    ASSERT_NE(e, nullptr);
    auto shown = textLinesOf(*e);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("\u2026"), std::string::npos);
    EXPECT_LE(e->frame.width, 90);
}

TEST(TextView, MinimumScaleFactorShrinksBeforeTruncating)
{
    const std::string text = "Shrink me please";
    const double natural = resolveFont(Font::body()).advance(QString::fromStdString(text));
    // Room for 80 % of the natural width: the text shrinks and stays whole.
    auto laid = layOut(Text(text).lineLimit(1).minimumScaleFactor(0.5).frame(natural * 0.8, std::nullopt), {600, 200});
    const Element* e = textElement(*laid, text);
    ASSERT_NE(e, nullptr);
    EXPECT_LT(textScaleOf(*e), 0.81);
    EXPECT_GT(textScaleOf(*e), 0.7);
    EXPECT_EQ(textLinesOf(*e), std::vector<std::string>{text});

    // Below the minimum it stops shrinking and truncates.
    auto tiny = layOut(Text(text).lineLimit(1).minimumScaleFactor(0.5).frame(natural * 0.3, std::nullopt), {600, 200});
    const Element* t = textElement(*tiny, text);
    ASSERT_NE(t, nullptr);
    EXPECT_DOUBLE_EQ(textScaleOf(*t), 0.5);
    EXPECT_NE(textLinesOf(*t)[0].find("\u2026"), std::string::npos);
}

TEST(TextView, MonospacedDigitsHaveEqualWidths)
{
    const ResolvedFont& mono = resolveFont(Font::body().monospacedDigit());
    EXPECT_DOUBLE_EQ(mono.advance("111"), mono.advance("888"));
    const ResolvedFont& plain = resolveFont(Font::body());
    EXPECT_LE(plain.advance("111"), mono.advance("111"));
}

TEST(TextView, MarkupIsShownAsIs)
{
    auto laid = layOut(Text("<b>bold</b> & %@"), {400, 100});
    EXPECT_TRUE(laid->tester.findText("<b>bold</b> & %@"));
}

TEST(Fonts, FallbacksAndProportionalSizes)
{
    // A family that is not installed falls back to the system face.
    EXPECT_EQ(fontFamily(Font::custom("No Such Face 42", 30)), fontFamily(Font::system(30)));
    EXPECT_NE(fontFamily(Font::system(30, FontWeight::bold, FontDesign::serif)), fontFamily(Font::system(30)));
    EXPECT_FALSE(registerFontFile("/nonexistent/Font.ttf"));
    // Fractional sizes lay out proportionally.
    const double w13 = resolveFont(Font::system(13)).advance("Tidewell");
    const double w26 = resolveFont(Font::system(26)).advance("Tidewell");
    EXPECT_NEAR(w26 / w13, 2.0, 0.05);
}

// An emoji in a name is drawn from the colour emoji font in every design,
// not as a box or a grey outline: set-up installs that font. A smiling face,
// a lightning bolt and a hot cup are also in DejaVu Sans (the bolt in
// JetBrains Mono too), in grey, which must not draw them, even in a face
// named by its family.
TEST(Fonts, EmojiDrawInColourInEveryDesign)
{
    const std::vector<const char*> names{"\u00E9moji-\U0001F680-proj", "smile-\U0001F600", "bolt-\u26A1", "cup-\u2615"};
    const std::pair<Font, std::vector<const char*>> rows[] = {
        {Font::system(20), names},
        {Font::system(20, FontWeight::bold, FontDesign::monospaced), names},
        {Font::system(20, FontWeight::regular, FontDesign::serif), names},
        {Font::custom("DejaVu Sans", 20), names},
    };
    for (const auto& [font, texts] : rows)
        for (const char* name : texts) {
            const QImage image = renderToImage(Text(name).font(font).foregroundColor(Color::black()), {240, 40}, 1);
            int coloured = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    coloured += image.pixelColor(x, y).hsvSaturation() > 80 && image.pixelColor(x, y).alpha() > 128;
            EXPECT_GT(coloured, 20) << fontFamily(font).toStdString() << ": " << name;
        }
}

// A text face that draws the lightning bolt or the hot cup itself, in grey,
// is passed over for them: they come from the colour emoji font, alone and
// in a name, in each face set up here that has them.
TEST(Fonts, EmojiTheFaceDrawsItselfAreDrawnInColour)
{
    const std::pair<const char*, std::vector<char32_t>> faces[] = {
        {"DejaVu Sans", {0x26A1, 0x2615}},
        {"DejaVu Sans Mono", {0x26A1, 0x2615}},
        {"JetBrains Mono", {0x26A1}},
    };
    for (const auto& [family, drawnByFace] : faces)
        for (const char32_t c : drawnByFace) {
            const Font font = Font::custom(family, 20);
            ASSERT_EQ(fontFamily(font).toStdString(), family) << "set-up installs it";
            ASSERT_TRUE(QFontMetricsF(QFont(family)).inFontUcs4(c)) << family << " draws U+" << std::hex << std::uint32_t(c);
            const std::string emoji = QString::fromUcs4(&c, 1).toStdString();
            for (const std::string& text : {emoji, "go-" + emoji + "-app"}) {
                const QImage image = renderToImage(Text(text).font(font).foregroundColor(Color::black()), {240, 40}, 1);
                int coloured = 0;
                for (int y = 0; y < image.height(); ++y)
                    for (int x = 0; x < image.width(); ++x)
                        coloured += image.pixelColor(x, y).hsvSaturation() > 80 && image.pixelColor(x, y).alpha() > 128;
                EXPECT_GT(coloured, 20) << family << ": " << text;
            }
        }
}

// Emoji sequences stay whole in their runs; a text presentation selector
// keeps a character with the face, and a text without emoji is not cut.
TEST(Fonts, EmojiRunsKeepSequencesWhole)
{
    const QString family = QString::fromUtf8("a\U0001F468\u200D\U0001F469\u200D\U0001F467b");  // a family between letters
    EXPECT_EQ(emojiRuns(family), (std::vector<TextRun>{{0, 1, false}, {1, 8, true}, {9, 1, false}}));
    const QString rest = QString::fromUtf8("\U0001F1EB\U0001F1F7\U0001F44D\U0001F3FD1\uFE0F\u20E3\u2615\uFE0E\u2764\uFE0F");
    EXPECT_EQ(emojiRuns(rest), (std::vector<TextRun>{{0, 4, true}, {4, 4, true}, {8, 3, true}, {11, 2, false}, {13, 2, true}}));
    EXPECT_TRUE(emojiRuns("12:30 \u00B7 \u2192 100 MB").empty());
}

TEST(TextLines, UnboundedOffersAreNotALimit)
{
    TextLayoutRequest r;
    r.text = "aaa bbb ccc";
    r.maxWidth = 30;
    r.maxHeight = std::numeric_limits<double>::infinity();
    r.lineHeight = 10;
    EXPECT_EQ(layoutText(r, tenEach).lines.size(), 3u);
    r.lineLimit = 0;  // not a positive limit: ignored
    EXPECT_EQ(layoutText(r, tenEach).lines.size(), 3u);
}

TEST(Fonts, WeightAndDigitsFromAContainerHoldForFontsSetInside)
{
    Font seen;
    auto probe = EnvironmentReader([&](const EnvironmentValues& e) {
        seen = e.font;
        return View();
    });
    layOut(VStack({probe.font(Font::caption())}).fontWeight(FontWeight::semibold).monospacedDigit(), {100, 100});
    EXPECT_EQ(seen.size(), Font::caption().size());
    EXPECT_EQ(seen.weight(), FontWeight::semibold);
    EXPECT_TRUE(seen.hasMonospacedDigits());
    // Without them the inner font stands as given.
    layOut(VStack({probe.font(Font::caption())}), {100, 100});
    EXPECT_EQ(seen.weight(), FontWeight::regular);
    EXPECT_FALSE(seen.hasMonospacedDigits());
}

// A chain on a temporary merges into its patch node in place; a chain on a
// view someone keeps must leave that view as it was.
TEST(TextEnvironment, ChainingOnAKeptViewLeavesItAsItWas)
{
    const std::string text = "kept words";
    const View kept = Text(text).font(Font::caption());
    const View limited = kept.lineLimit(1).truncationMode(TruncationMode::middle);
    auto laidKept = layOut(kept, {400, 100});
    auto laidLimited = layOut(limited, {400, 100});
    const Element* k = textElement(*laidKept, text);
    const Element* l = textElement(*laidLimited, text);
    ASSERT_TRUE(k && l);
    EXPECT_EQ(k->env->lineLimit, std::nullopt);
    EXPECT_EQ(k->env->truncationMode, TruncationMode::tail);
    EXPECT_EQ(l->env->lineLimit, 1);
    EXPECT_EQ(l->env->truncationMode, TruncationMode::middle);
    EXPECT_EQ(l->env->font, k->env->font);
}
