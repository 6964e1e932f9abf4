#include "KitViewTesting.h"

#include "kit/GrowingScanHero.h"

using namespace kittest;
using namespace tidewell;
using Clock = std::chrono::system_clock;

namespace {

const auto kFirstScan = Clock::time_point(std::chrono::seconds(1'800'000'000));
const auto kSecondScan = kFirstScan + std::chrono::seconds(90);

}  // namespace

TEST(DisplayedGrowth, StartsWhereItIsFirstShownThenEasesOutTowardsANewGrowthInAboutHalfASecond) {
    EXPECT_DOUBLE_EQ(displayedGrowth(GrowthEasing{}, 0), 0.04) << "a fresh hero's displayed growth";
    auto s = followGrowth({}, 0.2, kFirstScan, 10, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 10), 0.2);
    EXPECT_FALSE(isEasing(s, 10));
    s = followGrowth(s, 0.6, kFirstScan, 11, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 11), 0.2);
    const double early = displayedGrowth(s, 11.1), late = displayedGrowth(s, 11.3);
    EXPECT_TRUE(0.2 < early && early < late && late < 0.6);
    EXPECT_GT(early - 0.2, 0.4 * (0.1 / growthEaseSeconds)) << "ease-out: more than a linear share early on";
    EXPECT_TRUE(isEasing(s, 11.3));
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 11.46), 0.6);
    EXPECT_FALSE(isEasing(s, 11.46));
    EXPECT_DOUBLE_EQ(displayedGrowth(followGrowth(s, 0.6, kFirstScan, 11.2, false), 11.2), displayedGrowth(s, 11.2))
        << "the same growth handed in again changes nothing";
    // A new target midway continues from where the picture is.
    const double midway = displayedGrowth(s, 11.2);
    s = followGrowth(s, 0.8, kFirstScan, 11.2, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 11.2), midway);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 11.7), 0.8);
    // Reduce motion shows every growth at once.
    s = followGrowth(s, 0.3, kFirstScan, 12, true);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 12), 0.3);
    EXPECT_FALSE(isEasing(s, 12));
}

TEST(DisplayedGrowth, ANewScanDropsToTheSeedlingAtOnceThenGrowsAgain) {
    auto s = followGrowth({}, 1.0, kFirstScan, 5, false);
    // The next scan publishes its start and the store's seedling growth.
    s = followGrowth(s, seedlingGrowth, kSecondScan, 7, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 7), seedlingGrowth);
    EXPECT_FALSE(isEasing(s, 7));
    s = followGrowth(s, 0.3, kSecondScan, 8, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 8), seedlingGrowth);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 9), 0.3);
    // A new scan whose first growth arrives with it still starts from the seedling.
    s = followGrowth(s, 0.5, kFirstScan, 10, false);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 10), seedlingGrowth);
    EXPECT_DOUBLE_EQ(displayedGrowth(s, 11), 0.5);
    EXPECT_DOUBLE_EQ(displayedGrowth(followGrowth({}, std::nan(""), kFirstScan, 0, false), 0), 0) << "undefined is none";
}

// The hosted hero below shows the frame rate and the pause; these are the edges it doesn't reach.
TEST(HeroTimeline, PausesWhenInactiveAndAPausedTimelineKeepsTheLastFramesTime) {
    EXPECT_TRUE(heroTimelineSchedule(false, ScenePhase::inactive).paused);
    EXPECT_DOUBLE_EQ(heroFrameTime(std::nullopt, 12, false), 12);
    EXPECT_DOUBLE_EQ(heroFrameTime(5.0, 12, false), 12);
    EXPECT_DOUBLE_EQ(heroFrameTime(5.0, 12, true), 5);
    EXPECT_DOUBLE_EQ(heroFrameTime(std::nullopt, 12, true), 12);
    EXPECT_EQ(heroPathLine(""), "Waiting for the first root\u2026");
    EXPECT_EQ(heroPathLine("/home/me/dev/app/node_modules"), "dev/app/node_modules");
}

namespace {

GrowingScanHero hero(double growth, bool reduceMotion) {
    return GrowingScanHero{growth, 3, "/home/me/dev/app", "Reading the rings", reduceMotion, kFirstScan};
}

EnvironmentValues reduced() {
    EnvironmentValues env;
    env.reduceMotion = true;
    return env;
}

struct HostedHero {
    ViewHost host;
    double clock = 100;
    explicit HostedHero(const GrowingScanHero& h, const EnvironmentValues& env = {}) {
        host.setScheduler(nullptr);
        host.setClock([this] { return clock; });
        host.setEnvironment(env);
        host.setSize({640, 400});
        host.setRootView(h.body());
        host.flush();
    }
    QImage frameAt(double t) {
        clock = t;
        host.setNeedsRebuild();
        host.flush();
        return host.renderImage(1);
    }
    std::optional<double> frameDueIn() {
        const auto due = host.nextFrameDue();
        return due ? std::optional(*due - clock) : std::nullopt;
    }
};

}  // namespace

TEST(GrowingScanHero, AsksForFramesOnlyWhileTheWindowIsActiveOrAGrowthEasesIn) {
    HostedHero active(hero(0.6, false));
    ASSERT_TRUE(active.frameDueIn());
    EXPECT_NEAR(*active.frameDueIn(), 1.0 / 24, 1e-9);
    EXPECT_FALSE(HostedHero(hero(0.6, true), reduced()).frameDueIn());

    EnvironmentValues background;
    background.set<ScenePhaseKey>(ScenePhase::background);
    HostedHero hidden(hero(0.6, false), background);
    EXPECT_FALSE(hidden.frameDueIn());
    // A new growth eases in even in the background, at the scene's frame rate,
    // and asks for nothing once it has arrived.
    hidden.host.setRootView(hero(0.8, false).body());
    hidden.host.flush();
    ASSERT_TRUE(hidden.frameDueIn());
    EXPECT_NEAR(*hidden.frameDueIn(), 1.0 / 24, 1e-9);
    hidden.frameAt(hidden.clock + 0.5);
    EXPECT_FALSE(hidden.frameDueIn());
}

TEST(GrowingScanHero, MovesWithTimeOnlyWhileActiveAndMotionIsNotReduced) {
    HostedHero reduce(hero(0.9, true), reduced());
    EXPECT_EQ(reduce.frameAt(200), reduce.frameAt(203.5));

    HostedHero hosted(hero(0.9, false));
    const QImage lastActive = hosted.frameAt(200);
    hosted.host.environment().set<ScenePhaseKey>(ScenePhase::background);
    // A store update rebuilds the hidden picture: it keeps its last frame.
    EXPECT_EQ(hosted.frameAt(203.5), lastActive);
    hosted.host.environment().set<ScenePhaseKey>(ScenePhase::active);
    EXPECT_NE(hosted.frameAt(207), lastActive);
}

TEST(GrowingScanHero, CaptionsThePictureAndStaysOutOfAccessibility) {
    auto laid = layOut(hero(0.5, true).body(), {640, 400});
    EXPECT_EQ(announcedElements(laid->tester.tree()), 0);
    // The caption draws white text over the darkened bottom edge.
    const QRect white = boundsOf(laid->render(), [](const QColor& c) { return c.red() > 230 && c.green() > 230 && c.blue() > 230; });
    ASSERT_FALSE(white.isEmpty());
    EXPECT_GT(white.top(), 400 - 80);
    EXPECT_LT(white.left(), 40);
}
