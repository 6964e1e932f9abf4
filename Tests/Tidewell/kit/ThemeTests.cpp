#include <gtest/gtest.h>

#include "kit/Theme.h"

using platform::ui::ColorScheme;
using tidewell::Theme;

// The surfaces switch with the appearance; the signal colours don't.
TEST(Theme, OnlyTheSurfacesFollowTheAppearance) {
    const auto darkRaised = Theme::raisedSurface().resolve(ColorScheme::dark);
    EXPECT_NEAR(darkRaised.red, 0.145, 1e-9);
    EXPECT_NEAR(darkRaised.green, 0.185, 1e-9);
    EXPECT_NEAR(darkRaised.blue, 0.2, 1e-9);
    EXPECT_EQ(Theme::raisedSurface().resolve(ColorScheme::light).red, 1.0);
    EXPECT_NEAR(Theme::windowBackground().resolve(ColorScheme::dark).red, 0.075, 1e-9);
    EXPECT_NEAR(Theme::windowBackground().resolve(ColorScheme::light).red, 0.91, 1e-9);

    for (const auto& colour : {Theme::accent(), Theme::reclaim(), Theme::caution(), Theme::tileSurface()}) {
        EXPECT_EQ(colour.resolve(ColorScheme::light), colour.resolve(ColorScheme::dark));
    }
}
