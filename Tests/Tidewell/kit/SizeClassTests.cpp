#include <gtest/gtest.h>

#include "kit/SizeClass.h"

using tidewell::HeightClass;
using tidewell::WidthClass;

TEST(SizeClass, WidthBoundariesAreExactly1000And1320) {
    EXPECT_EQ(tidewell::widthClassFor(0), WidthClass::compact);
    EXPECT_EQ(tidewell::widthClassFor(999.9), WidthClass::compact);
    EXPECT_EQ(tidewell::widthClassFor(1000), WidthClass::regular);
    EXPECT_EQ(tidewell::widthClassFor(1319.9), WidthClass::regular);
    EXPECT_EQ(tidewell::widthClassFor(1320), WidthClass::wide);
    EXPECT_EQ(tidewell::widthClassFor(2560), WidthClass::wide);
}

TEST(SizeClass, HeightBoundaryIsExactly760) {
    EXPECT_EQ(tidewell::heightClassFor(759.9), HeightClass::short_);
    EXPECT_EQ(tidewell::heightClassFor(760), HeightClass::tall);
    EXPECT_EQ(tidewell::heightClassFor(0), HeightClass::short_);
}

TEST(SizeClass, OutsideAReaderTheLayoutIsWideAndTall) {
    EXPECT_EQ(tidewell::WidthClassKey::defaultValue(), WidthClass::wide);
    EXPECT_EQ(tidewell::HeightClassKey::defaultValue(), HeightClass::tall);
}
