#include "KitViewTesting.h"

#include "kit/SizeClassReader.h"

using namespace kittest;
using tidewell::HeightClass;
using tidewell::HeightClassKey;
using tidewell::WidthClass;
using tidewell::WidthClassKey;

namespace {

std::string name(WidthClass w) {
    switch (w) {
    case WidthClass::compact: return "compact";
    case WidthClass::regular: return "regular";
    case WidthClass::wide: return "wide";
    }
    return "?";
}
std::string name(HeightClass h) { return h == HeightClass::tall ? "tall" : "short"; }

// Shows the classes handed to the content and those its environment carries.
View probe(WidthClass w, HeightClass h) {
    // The clear fill takes all the room it is given, so the frame shows it.
    return ZStack({
                      View(Color::clear()),
                      VStack({
                          Text("arg " + name(w) + " " + name(h)),
                          EnvironmentReader([](const EnvironmentValues& env) {
                              return Text("env " + name(env.get<WidthClassKey>()) + " " +
                                          name(env.get<HeightClassKey>()));
                          }),
                      }),
                  })
        .accessibilityIdentifier("content");
}

}  // namespace

TEST(SizeClassReader, ClassifiesTheOfferedSizeAtTheBoundaries) {
    struct Case {
        Size size;
        const char* expected;
    };
    const Case cases[] = {
        {{999.9, 759.9}, "compact short"},
        {{1000, 760}, "regular tall"},
        {{1319.9, 800}, "regular tall"},
        {{1320, 700}, "wide short"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        auto laid = layOut(tidewell::SizeClassReader(probe), c.size);
        const auto texts = laid->texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), std::string("arg ") + c.expected), texts.end());
        EXPECT_NE(std::find(texts.begin(), texts.end(), std::string("env ") + c.expected), texts.end())
            << "the environment carries the same classes as the arguments";
    }
}

TEST(SizeClassReader, ContentTakesExactlyTheOfferedSize) {
    auto laid = layOut(tidewell::SizeClassReader(probe), {1100, 700});
    const Rect content = laid->frame("content");
    EXPECT_DOUBLE_EQ(content.width, 1100);
    EXPECT_DOUBLE_EQ(content.height, 700);
}

TEST(SizeClassReader, OutsideAReaderTheEnvironmentIsWideAndTall) {
    auto laid = layOut(EnvironmentReader([](const EnvironmentValues& env) {
                           return probe(env.get<WidthClassKey>(), env.get<HeightClassKey>());
                       }),
                       {400, 300});
    const auto texts = laid->texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "env wide tall"), texts.end());
}
