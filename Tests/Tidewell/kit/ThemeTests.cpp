#include <gtest/gtest.h>

#include "kit/ForestSpring.h"
#include "kit/Theme.h"

using platform::ui::ColorScheme;
using tidewell::Theme;

// The surfaces switch with the appearance; the signal colours don't.
TEST(Theme, OnlyTheSurfacesFollowTheAppearance) {
    for (const auto& surface : {Theme::raisedSurface(), Theme::windowBackground()})
        EXPECT_NE(surface.resolve(ColorScheme::light), surface.resolve(ColorScheme::dark));
    for (const auto& colour : {Theme::accent(), Theme::reclaim(), Theme::caution(), Theme::tileSurface()})
        EXPECT_EQ(colour.resolve(ColorScheme::light), colour.resolve(ColorScheme::dark));
}

// Selection, hover, layout and press changes share one spring, made once.
TEST(Theme, TheSharedSpringIsTheThemesSpring) {
    const platform::ui::Animation spring = tidewell::forestSpring();
    EXPECT_EQ(spring.curve, platform::ui::Animation::Curve::spring);
    EXPECT_DOUBLE_EQ(spring.response, 0.42);
    EXPECT_DOUBLE_EQ(spring.dampingFraction, 0.86);
}
