#include "desktop/Appearance.h"

#include "ui/HostWidget.h"

#include <gtest/gtest.h>

using platform::DesktopAppearance;
using platform::ui::ColorScheme;

TEST(Appearance, PortalAnswersWinOverThePaletteAndMotionStaysOnWithoutThem)
{
    struct Case {
        std::optional<std::uint32_t> scheme, reduced;
        std::optional<bool> animations;
        bool darkPalette;
        DesktopAppearance expected;
    };
    const std::vector<Case> cases = {
        {1u, std::nullopt, std::nullopt, false, {ColorScheme::dark, false}},
        {2u, 1u, std::nullopt, true, {ColorScheme::light, true}},
        {0u, 0u, false, true, {ColorScheme::dark, false}},  // reduced-motion answered: it decides
        {std::nullopt, std::nullopt, false, false, {ColorScheme::light, true}},
        {std::nullopt, std::nullopt, std::nullopt, false, {ColorScheme::light, false}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(platform::appearanceFrom(c.scheme, c.reduced, c.animations, c.darkPalette), c.expected) << "case " << i;
    }
    using Args = std::vector<std::string>;
    EXPECT_EQ(platform::forcedColorScheme(Args{"--ui-testing", "--appearance", "dark"}), ColorScheme::dark);
    EXPECT_EQ(platform::forcedColorScheme(Args{"--appearance", "dark"}), std::nullopt) << "only interface tests force it";
}

TEST(Appearance, AForcedSchemeReachesWindowsMadeBeforeAndAfterTheStart)
{
    platform::ui::HostWidget before;
    platform::startAppearanceService({"--ui-testing", "--appearance", "dark"});
    platform::ui::HostWidget after;
    EXPECT_EQ(before.host().environment().colorScheme, ColorScheme::dark);
    EXPECT_EQ(after.host().environment().colorScheme, ColorScheme::dark);
    platform::startAppearanceService({"--ui-testing", "--appearance", "light"});
    EXPECT_EQ(after.host().environment().colorScheme, ColorScheme::light);
}
