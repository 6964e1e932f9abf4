#include <gtest/gtest.h>

#include "kit/SizeClass.h"

TEST(SizeClass, BoundariesAreExactly1000And1320WideAnd760Tall) {
    using W = tidewell::WidthClass;
    for (const auto& [width, expected] : {std::pair{0.0, W::compact}, {999.9, W::compact}, {1000.0, W::regular},
                                          {1319.9, W::regular}, {1320.0, W::wide}, {2560.0, W::wide}})
        EXPECT_EQ(tidewell::widthClassFor(width), expected) << width;
    EXPECT_EQ(tidewell::heightClassFor(0), tidewell::HeightClass::short_);
    EXPECT_EQ(tidewell::heightClassFor(759.9), tidewell::HeightClass::short_);
    EXPECT_EQ(tidewell::heightClassFor(760), tidewell::HeightClass::tall);
}
