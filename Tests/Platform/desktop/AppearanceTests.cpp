#include "desktop/Appearance.h"

#include "desktop/ApplicationMenu.h"
#include "ui/HostWidget.h"

#include <QMenu>
#include <QMenuBar>

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

TEST(ApplicationMenu, GroupsCommandsIntoMenusAndAsksTheirStateWhenUsed)
{
    platform::Window main(platform::WindowSpec{"main", "Tidewell"});
    int scans = 0, shown = 0;
    bool scanning = false;
    platform::installApplicationMenu(main, {
        {"View", {"Dashboard", QKeySequence(Qt::CTRL | Qt::Key_1), [&] { ++shown; }, nullptr}},
        {"File", {"Scan Now", QKeySequence(Qt::CTRL | Qt::Key_R), [&] { ++scans; }, [&] { return !scanning; }}},
    });
    auto* bar = main.widget()->findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    ASSERT_EQ(bar->actions().size(), 2);
    EXPECT_EQ(bar->actions()[0]->text(), "&View");
    EXPECT_EQ(bar->actions()[1]->menu()->actions().front()->text(), "&Scan Now");
    EXPECT_EQ(platform::withMnemonics({"Settings\u2026", "Scan", "Show & Tell", "S"}),
              (std::vector<std::string>{"&Settings\u2026", "S&can", "Show && &Tell", "S"}))
        << "a word's first letter when free, else the first free letter, else none";
    QMenu* file = bar->actions()[1]->menu();
    QAction* scan = file->actions().front();
    EXPECT_EQ(scan->shortcutContext(), Qt::ApplicationShortcut) << "the shortcut works in every window";
    scan->trigger();
    scanning = true;
    scan->trigger();
    EXPECT_EQ(scans, 1) << "refused while the store scans";
    emit file->aboutToShow();
    EXPECT_FALSE(scan->isEnabled());
    emit file->aboutToHide();
    EXPECT_TRUE(scan->isEnabled());
}

// An entry whose state is published shows it throughout: opening and closing
// its menu leaves it as the state says, and a change reaches it at once.
TEST(ApplicationMenu, AnEntryWithAPublishedStateKeepsItAcrossItsMenuOpeningAndClosing)
{
    bool canCheck = false;
    std::function<void()> changed;
    int checks = 0;
    platform::Window main(platform::WindowSpec{"main", "Tidewell"});
    platform::WindowCommand check{"Check for Updates\u2026", QKeySequence(), [&] { ++checks; }, [&] { return canCheck; }};
    check.enabledChanges = [&](std::function<void()> f) {
        changed = std::move(f);
        return platform::Subscription([&] { changed = nullptr; });
    };
    platform::installApplicationMenu(main, {
        {"Tidewell", {"Settings\u2026", QKeySequence(), [] {}, nullptr}},
        {"Tidewell", check},
    });
    QMenu* menu = main.widget()->findChild<QMenuBar*>()->actions().front()->menu();
    QAction* entry = menu->actions().at(1);
    EXPECT_FALSE(entry->isEnabled()) << "before its menu first opens";
    for (int round = 0; round < 2; ++round) {
        emit menu->aboutToShow();
        EXPECT_FALSE(entry->isEnabled());
        emit menu->aboutToHide();
        EXPECT_FALSE(entry->isEnabled()) << "closed again, round " << round;
        EXPECT_TRUE(menu->actions().front()->isEnabled());
    }
    entry->trigger();
    EXPECT_EQ(checks, 0);
    canCheck = true;
    ASSERT_TRUE(changed);
    changed();
    EXPECT_TRUE(entry->isEnabled()) << "at once, with the menu closed";
    emit menu->aboutToShow();
    emit menu->aboutToHide();
    EXPECT_TRUE(entry->isEnabled());
}
