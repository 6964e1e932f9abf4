#include <gtest/gtest.h>

#include "kit/Theme.h"

using platform::ui::ColorScheme;
using platform::ui::FontWeight;
using platform::ui::RGBA;
using tidewell::Theme;

namespace {
void expectRGBA(const RGBA& actual, double r, double g, double b, double a = 1) {
    EXPECT_NEAR(actual.red, r, 1e-9);
    EXPECT_NEAR(actual.green, g, 1e-9);
    EXPECT_NEAR(actual.blue, b, 1e-9);
    EXPECT_NEAR(actual.alpha, a, 1e-9);
}
}  // namespace

TEST(Theme, SignalColoursAreTheSameInBothAppearances) {
    for (auto scheme : {ColorScheme::light, ColorScheme::dark}) {
        expectRGBA(Theme::accent().resolve(scheme), 10 / 255.0, 132 / 255.0, 1);
        expectRGBA(Theme::reclaim().resolve(scheme), 48 / 255.0, 209 / 255.0, 88 / 255.0);
        expectRGBA(Theme::caution().resolve(scheme), 1, 159 / 255.0, 10 / 255.0);
    }
}

TEST(Theme, SurfacesFollowTheAppearanceWithTheFractionsAsGiven) {
    expectRGBA(Theme::windowBackground().resolve(ColorScheme::dark), 0.075, 0.11, 0.125);
    expectRGBA(Theme::windowBackground().resolve(ColorScheme::light), 0.91, 0.949, 0.98);
    expectRGBA(Theme::raisedSurface().resolve(ColorScheme::dark), 0.145, 0.185, 0.2);
    expectRGBA(Theme::raisedSurface().resolve(ColorScheme::light), 1, 1, 1);
}

TEST(Theme, TilesAreWhiteInBothAppearancesWithAFaintRim) {
    expectRGBA(Theme::tileSurface().resolve(ColorScheme::dark), 1, 1, 1);
    const RGBA rimLight = Theme::tileRim().resolve(ColorScheme::light);
    const RGBA primaryLight = platform::ui::Color::primary().resolve(ColorScheme::light);
    EXPECT_NEAR(rimLight.alpha, primaryLight.alpha * 0.08, 1e-9);
    EXPECT_NE(Theme::tileRim().resolve(ColorScheme::dark).red, rimLight.red);
}

TEST(Theme, ButtonFontsAndSpring) {
    EXPECT_EQ(Theme::buttonFont().size(), 13);
    EXPECT_EQ(Theme::buttonFont().weight(), FontWeight::semibold);
    EXPECT_EQ(Theme::largeButtonFont().size(), 15);
    EXPECT_EQ(Theme::largeButtonFont().weight(), FontWeight::semibold);
    EXPECT_TRUE(Theme::buttonFont().family().empty());
    EXPECT_EQ(Theme::spring, (tidewell::SpringParameters{0.42, 0.86, 0}));
}
