// The character's views: their texts as tables, and the name field, unlock
// toast and settings pane against a store.
#include <memory>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "character/CharacterFigure.h"
#include "character/CharacterNameField.h"
#include "character/CharacterSettingsPane.h"
#include "character/CharacterUnlockToast.h"
#include "character/CharacterViewRules.h"
#include "character/SidebarCharacterHeader.h"
#include "character/SidebarCharacterRow.h"
#include "core/AppStore.h"
#include "ui/Form.h"

using namespace kittest;
using namespace tidewell;

namespace {

constexpr std::uint64_t GB = 1'000'000'000;

CharacterProfile named(std::string name) {
    CharacterProfile p;
    p.name = std::move(name);
    return p;
}

TEST(CharacterTextsTest, NamesStagesAndBytes) {
    const auto zero = sidebarCharacterTexts(named("  \t "), 0);
    EXPECT_EQ(zero.rowTooltip, "Byte · Tiny · Zero KB reclaimed");
    EXPECT_EQ(zero.headerTooltip, "Byte · Tiny. Open character settings.");
    EXPECT_EQ(zero.headerLabel, "Character Byte, Tiny");
    EXPECT_EQ(sidebarCharacterTexts(named("Mira"), 10 * GB).rowLabel,
              "Character Mira, Growing, 10 GB reclaimed");
    EXPECT_EQ(sidebarCharacterTexts(named("Mira"), 10 * GB - 1).stage, "Tiny");
    EXPECT_EQ(setupButtonTooltip(named("")), "Pick a look and a name for Byte");

    EXPECT_EQ(unlockToastHeading(CharacterAccessory::crown), "New unlock: crown");
    EXPECT_EQ(unlockToastDetail(named(" "), CharacterAccessory::crown), "Byte reclaimed 500 GB with you.");
    EXPECT_EQ(shareCardStageLine(500 * GB), "Giant · 500 GB");
    EXPECT_EQ(shareCardStageLine(500 * GB - 1).substr(0, 4), "Huge");
}

TEST(CharacterTextsTest, AccessoryProgressAndLocks) {
    struct Case { std::uint64_t lifetime; std::string footer; };
    const Case cases[] = {
        {0, "Next: headphones at 10 GB. 10 GB to go."},
        {10 * GB, "Next: scarf at 50 GB. 40 GB to go."},
        {500 * GB, "Every accessory is unlocked."},
    };
    for (const auto& c : cases) EXPECT_EQ(accessoryProgressLine(c.lifetime), c.footer) << c.lifetime;
    EXPECT_EQ(accessoryCellTooltip(CharacterAccessory::scarf, 10 * GB), "Reclaim 40 GB more to unlock the scarf.");
    EXPECT_EQ(accessoryCellTooltip(CharacterAccessory::headphones, 10 * GB), "Headphones");
    EXPECT_EQ(accessoryCellAccessibilityLabel(CharacterAccessory::crown, 0), "Crown, locked");
    EXPECT_EQ(accessoryCellAccessibilityLabel(CharacterAccessory::cap, 0), "Cap");
}

TEST(CharacterFigureTest, FitsByTheTighterSideOnTheSameBaseline) {
    struct Case { platform::ui::Size size; double factor; double feetX, feetY, scale; };
    const Case cases[] = {{{110, 130}, 1, 55, 125, 1}, {{440, 130}, 1, 220, 125, 1}, {{110, 520}, 1, 55, 515, 1},
                          {{110, 130}, 0.4, 55, 125, 0.4}};
    for (const auto& c : cases) {
        const auto fit = characterFigureFit(c.size, c.factor);
        EXPECT_DOUBLE_EQ(fit.feet.x, c.feetX);
        EXPECT_DOUBLE_EQ(fit.feet.y, c.feetY);
        EXPECT_DOUBLE_EQ(fit.scale, c.scale);
    }
}

TEST(DashboardHopTest, RestsThenHopsOncePerCycle) {
    const std::pair<double, double> cases[] = {{0, 0}, {0.65 * 2.4, 0}, {0.825 * 2.4, 1}, {2.4 + 0.825 * 2.4, 1}, {-0.175 * 2.4, 1}};
    for (auto [t, hop] : cases) EXPECT_NEAR(dashboardHop(t, false), hop, 1e-9) << t;
    EXPECT_EQ(dashboardHop(0.825 * 2.4, true), 0);
}

TEST(NameLimitTest, CountsUserPerceivedCharacters) {
    const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";  // one family emoji
    const std::string eAcute = "e\xCC\x81";                                                                  // e + combining acute
    std::string families, accents;
    for (int i = 0; i < 25; ++i) families += family, accents += eAcute;
    const std::pair<std::string, std::string> cases[] = {
        {std::string(25, 'a'), std::string(20, 'a')},
        {std::string(20, 'a'), std::string(20, 'a')},
        {families, families.substr(0, 20 * family.size())},
        {accents, accents.substr(0, 20 * eAcute.size())},
    };
    for (const auto& [typed, kept] : cases) EXPECT_EQ(limitCharacterNameText(typed), kept);
}

class CharacterOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    std::optional<AppStore> store;
    void SetUp() override { store.emplace(); }
    CharacterProfile profile() { return store->character.get(); }
    void set(const std::function<void(CharacterProfile&)>& change) {
        CharacterProfile p = profile();
        change(p);
        store->setCharacter(p);
    }
};

// The field's state as bindings over values the test can drop.
struct FieldState {
    struct Values {
        std::string text;
        std::optional<std::string> error;
        bool saving = false;
    };
    std::shared_ptr<Values> values = std::make_shared<Values>();
    template <class T>
    platform::ui::Binding<T> bind(T Values::*field) {
        std::weak_ptr<Values> weak = values;
        return {[weak, field] { auto v = weak.lock(); return v ? (*v).*field : T{}; },
                [weak, field](T x) { if (auto v = weak.lock()) (*v).*field = x; }};
    }
    NameFieldState bindings() { return {bind(&Values::text), bind(&Values::error), bind(&Values::saving)}; }
};

TEST_F(CharacterOnStore, NameCommitSavesChecksAndTakesBackARefusal) {
    set([](auto& p) { p.name = "Mira"; p.leaderboardOptIn = true; });
    int reports = 0;
    std::function<void(bool, std::optional<std::string>)> pending;
    NameFieldReporting signedIn{[] { return true; }, [&](auto&, auto, auto done) { ++reports; pending = done; }};
    NameFieldReporting signedOut{[] { return false; }, [&](auto&, auto, auto) { ++reports; }};
    FieldState field;
    const auto state = field.bindings();
    const auto commit = [&](std::string text, const NameFieldReporting& r) { state.text.set(text); commitName(*store, state, r); };

    struct Case { std::string typed; std::string stored; bool ruleMessage; };
    const Case cases[] = {{"ab", "Mira", true}, {"a b c", "Mira", true}, {"Mira!", "Mira", true},
                          {" Otter_7 ", "Otter_7", false}, {"abc", "abc", false}, {std::string(20, 'z'), std::string(20, 'z'), false}};
    for (const auto& c : cases) {
        commit(c.typed, signedOut);
        EXPECT_EQ(profile().name, c.stored) << c.typed;
        EXPECT_EQ(state.error.get().has_value(), c.ruleMessage) << c.typed;
    }
    EXPECT_EQ(state.error.get(), std::nullopt);
    commit("ab", signedOut);
    commit(std::string(20, 'z'), signedOut);  // unchanged: clears the message, sends nothing
    EXPECT_EQ(state.error.get(), std::nullopt);
    EXPECT_EQ(reports, 0);

    commit("Refused", signedIn);
    EXPECT_TRUE(state.saving.get());
    pending(false, std::nullopt);
    EXPECT_EQ(profile().name, std::string(20, 'z'));
    EXPECT_EQ(state.text.get(), std::string(20, 'z'));
    EXPECT_EQ(state.error.get(), "Could not save that name.");
    EXPECT_FALSE(state.saving.get());

    commit("Accepted", signedIn);
    pending(true, std::nullopt);
    EXPECT_EQ(profile().name, "Accepted");

    // The field closes before the service refuses: the store still goes back, nothing else breaks.
    commit("Gone", signedIn);
    field.values.reset();
    pending(false, std::string("Name taken."));
    EXPECT_EQ(profile().name, "Accepted");
    EXPECT_EQ(reports, 3);
}

// The field holds the name as stored, spaces around it included, at first and
// after a change made elsewhere; committing it trimmed stores the trimmed name
// (which the leaderboard toggle then takes), and a dropped no-break or other
// wide space leaves the field at once, where typed spaces may stay shown.
TEST_F(CharacterOnStore, TheNameFieldShowsAndComparesTheNameAsStored) {
    set([](auto& p) { p.name = "NbspNick\u00A0"; });
    auto laid = layOut(platform::ui::EmptyView(), {530, 900});
    laid->host->setRoot([this] { return platform::ui::Form({CharacterSettingsPane(*store)}); });
    laid->host->observe(*store);
    laid->tester.settle();
    const auto fieldValue = [&] {
        const auto field = laid->tester.findAll([](const auto& n) { return n.label == "BriskOtter4821"; });
        return field.size() == 1 ? field[0].value : std::string("no one field");
    };
    EXPECT_EQ(fieldValue(), "NbspNick\u00A0");
    set([](auto& p) { p.name = " Mira_7 "; });
    laid->tester.settle();
    EXPECT_EQ(fieldValue(), " Mira_7 ");

    struct Case { std::string stored, typed, storedAfter, shownAfter; };
    const Case cases[] = {
        {" Mira_7 ", " Mira_7 ", "Mira_7", " Mira_7 "},
        {" Mira_7 ", "Mira_7", "Mira_7", "Mira_7"},
        {"Mira_7", " Otter_7\t", "Otter_7", " Otter_7\t"},
        {"Mira_7", "OldNick\u00A0", "OldNick", "OldNick"},
        {"Mira_7", " \u2009OldNick ", "OldNick", "OldNick"},
        {"Mira_7", "Mira_7", "Mira_7", "Mira_7"},
    };
    for (const auto& c : cases) {
        set([&](auto& p) { p.name = c.stored; });
        FieldState field;
        field.values->text = c.typed;
        commitName(*store, field.bindings(), {[] { return false; }, nullptr});
        EXPECT_EQ(profile().name, c.storedAfter) << c.typed;
        EXPECT_EQ(field.values->text, c.shownAfter) << c.typed;
        EXPECT_EQ(field.values->error, std::nullopt) << c.typed;
    }
}

TEST_F(CharacterOnStore, UnlockToastClearsOnlyItsOwnAnnouncementWhileShown) {
    struct Timer { platform::ui::ViewTask task; double seconds; std::function<void()> fire; };
    std::vector<Timer> timers;
    const UnlockToastTimer clock = [&](const platform::ui::ViewTask& task, double s, std::function<void()> fire) {
        timers.push_back({task, s, std::move(fire)});
    };
    const auto elapse = [&] {
        for (auto& t : timers)
            if (!t.task.isCancelled()) t.fire();
        timers.clear();
    };
    store->newUnlock = CharacterAccessory::scarf;
    auto laid = layOut(CharacterUnlockToast(*store, CharacterAccessory::scarf, clock), {600, 120});
    ASSERT_EQ(timers.size(), 1u);
    EXPECT_EQ(timers[0].seconds, 10);
    elapse();
    EXPECT_EQ(store->newUnlock.get(), std::nullopt);

    // A newer unlock arrived meanwhile: it stays.
    store->newUnlock = CharacterAccessory::shades;
    laid = layOut(CharacterUnlockToast(*store, CharacterAccessory::scarf, clock), {600, 120});
    elapse();
    EXPECT_EQ(store->newUnlock.get(), CharacterAccessory::shades);

    // The toast went first: its timer changes nothing.
    store->newUnlock = CharacterAccessory::cape;
    laid = layOut(CharacterUnlockToast(*store, CharacterAccessory::cape, clock), {600, 120});
    laid->host->setRootView(platform::ui::EmptyView());
    laid->tester.settle();
    elapse();
    EXPECT_EQ(store->newUnlock.get(), CharacterAccessory::cape);

    wearUnlockedAccessory(*store, CharacterAccessory::cape);
    EXPECT_EQ(profile().accessory, CharacterAccessory::cape);
    EXPECT_EQ(store->newUnlock.get(), std::nullopt);
}

TEST_F(CharacterOnStore, PaneMarksSetUpAndChoosesOnlyUnlockedLooks) {
    set([](auto& p) { p.isSetUp = false; p.accessory = CharacterAccessory::cap; p.name = "Mira"; });
    store->lifetimeReclaimedBytes = 0;
    auto laid = layOut(platform::ui::Form({CharacterSettingsPane(*store)}), {530, 900});
    laid->host->observe(*store);
    laid->tester.settle();
    EXPECT_TRUE(profile().isSetUp);

    laid->tester.tap(*laid->tester.find("character.accessory.crown"));
    EXPECT_EQ(profile().accessory, CharacterAccessory::cap);
    laid->tester.tap(*laid->tester.find("character.accessory.none"));
    EXPECT_EQ(profile().accessory, CharacterAccessory::none);
    const auto swatch = laid->tester.findAll([](const auto& n) { return n.label == "Color 4"; });
    ASSERT_EQ(swatch.size(), 1u);
    laid->tester.tap(swatch[0]);
    EXPECT_EQ(profile().colorIndex, 3);

    const CharacterProfile before = profile();
    for (int i = 0; i < 20; ++i) {
        randomizeCharacterLook(*store);
        CharacterProfile p = profile();
        EXPECT_TRUE(p.accessory == CharacterAccessory::none || p.accessory == CharacterAccessory::cap);
        p.body = before.body, p.colorIndex = before.colorIndex, p.accessory = before.accessory;
        EXPECT_EQ(p, before);
    }
}

// A long name keeps its size on its one line and loses letters from its
// middle, in the sidebar's row and in the header alike.
TEST_F(CharacterOnStore, ALongNameInTheSidebarIsCutInTheMiddleAtItsFullSize) {
    const std::string name = "Wilhelmina Ravenclaw";
    set([&](auto& p) { p.name = name; });
    const std::pair<const char*, platform::ui::View> views[] = {
        {"row", SidebarCharacterRow(*store, false).frame(170, std::nullopt)},
        {"header", SidebarCharacterHeader(*store).frame(190, std::nullopt)},
    };
    for (const auto& [which, view] : views) {
        auto laid = layOut(topLeading(view), {400, 120});
        const platform::ui::Element* text = platform::ui::findElement(
            *laid->host->rootElement(), [&](const auto& e) { return platform::ui::textOfNode(e.node.get()) == name; });
        ASSERT_NE(text, nullptr) << which;
        EXPECT_EQ(platform::ui::textScaleOf(*text), 1.0) << which << " does not shrink";
        const auto lines = platform::ui::textLinesOf(*text);
        ASSERT_EQ(lines.size(), 1u) << which;
        const std::string& line = lines[0];
        ASSERT_NE(line.find("…"), std::string::npos) << which << ": " << line;
        EXPECT_EQ(line.substr(0, 3), "Wil") << which << ": " << line;
        EXPECT_EQ(line.substr(line.size() - 3), "law") << which << ": " << line;
    }
}

}  // namespace
