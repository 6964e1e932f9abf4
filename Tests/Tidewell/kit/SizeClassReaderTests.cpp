#include "KitViewTesting.h"

#include "kit/SizeClassReader.h"

using namespace kittest;
using tidewell::HeightClass;
using tidewell::WidthClass;

namespace {

std::string name(WidthClass w, HeightClass h) {
    const char* width = w == WidthClass::compact ? "compact" : w == WidthClass::regular ? "regular" : "wide";
    return std::string(width) + (h == HeightClass::tall ? " tall" : " short");
}

// Shows the classes handed to the content and those its environment carries;
// the clear fill takes all the room it is given, so the frame shows it.
View probe(WidthClass w, HeightClass h) {
    return ZStack({View(Color::clear()),
                   VStack({Text("arg " + name(w, h)), EnvironmentReader([](const EnvironmentValues& env) {
                               return Text("env " + name(tidewell::widthClass(env), tidewell::heightClass(env)));
                           })})})
        .accessibilityIdentifier("content");
}

}  // namespace

TEST(SizeClassReader, ClassifiesTheOfferedSizeAtTheBoundariesAndHandsAllOfItOn) {
    const std::pair<Size, const char*> cases[] = {
        {{999.9, 759.9}, "compact short"}, {{1000, 760}, "regular tall"}, {{1319.9, 800}, "regular tall"},
        {{1320, 700}, "wide short"}};
    for (const auto& [size, expected] : cases) {
        SCOPED_TRACE(expected);
        auto laid = layOut(tidewell::SizeClassReader(probe), size);
        EXPECT_TRUE(laid->shows(std::string("arg ") + expected));
        EXPECT_TRUE(laid->shows(std::string("env ") + expected)) << "the environment carries the same classes";
        EXPECT_EQ(laid->frame("content").size(), size);
    }
}

TEST(SizeClassReader, OutsideAReaderTheEnvironmentIsWideAndTall) {
    auto laid = layOut(EnvironmentReader([](const EnvironmentValues& env) {
                           return probe(tidewell::widthClass(env), tidewell::heightClass(env));
                       }),
                       {400, 300});
    EXPECT_TRUE(laid->shows("env wide tall"));
}
