// The files sheet's parked clean and the clean confirmation, the latter
// presented as the main window presents it and driven through the real
// engine on a small tree in a scratch home.

#include <fcntl.h>
#include <future>
#include <sys/stat.h>

#include "Tidewell/core/FlowTestSupport.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/EngineClient.h"
#include "projects/CleanConfirmView.h"
#include "projects/ProjectFilesSheet.h"
#include "shell/RootView.h"

using namespace tidewell;
using namespace tidewell::testing;
namespace fs = std::filesystem;
namespace ui = platform::ui;

namespace {

ArtifactDTO artifact(std::string path, std::uint64_t size, bool exists = true) {
    return ArtifactDTO{fs::path(path).filename().string(), path, "safe", size, exists};
}

CleanReportDTO report(std::vector<std::string> classes) {
    CleanReportDTO r;
    r.dry_run = true;
    for (const auto& c : classes) r.items.push_back(CleanItemDTO{"/w/a/" + c, 1000, c, true, {}});
    r.bytes_reclaimed = 1000 * r.items.size();
    return r;
}

}  // namespace

TEST(CleaningScreenRules, ContentsListsAndTexts) {
    using Kind = CleanConfirmContent::Kind;
    const std::vector<CleanConfirmContent> faces = {cleanConfirmContent(true, false, ""),
                                                    cleanConfirmContent(true, true, ""),
                                                    cleanConfirmContent(true, true, "Cleaning 2 of 3\u2026"),
                                                    cleanConfirmContent(false, true, "x"),
                                                    cleanConfirmContent(false, false, ""),
                                                    cleanConfirmContent(false, false, "Stopped")};
    EXPECT_EQ(faces, (std::vector<CleanConfirmContent>{{Kind::progress, "Calculating\u2026"},
                                                       {Kind::progress, "Moving to Trash\u2026"},
                                                       {Kind::progress, "Cleaning 2 of 3\u2026"},
                                                       {Kind::preview, ""},
                                                       {Kind::status, "Preparing dry-run\u2026"},
                                                       {Kind::status, "Stopped"}}));

    EXPECT_EQ(cleanTotalsText(report({"safe"})), "1 item \u00B7 1 KB \u2192 Trash");
    EXPECT_EQ(cleanTotalsText(report({"safe", "odd"})), "2 items \u00B7 2 KB \u2192 Trash");
    EXPECT_EQ(notMovedText(report({"safe"})), "");
    EXPECT_TRUE(confirmMovesSomething(report({"safe"})));
    // After a real clean: what it moved, what it left, and what another clean took meanwhile.
    auto real = report({"safe", "caution", "safe"});
    real.dry_run = false;
    real.items[0].success = real.items[1].success = false;
    real.items[1].error = real.items[1].path + " was moved to the Trash by another clean";
    real.bytes_reclaimed = 1000;
    EXPECT_EQ(cleanTotalsText(real), "1 item \u00B7 1 KB \u2192 Trash");
    EXPECT_EQ(notMovedText(real), "1 folder could not be moved \u00B7 1 folder already moved to the Trash by another clean");
    real.items[2].success = false;
    EXPECT_EQ(cleanTotalsText(real), "0 items \u00B7 Zero KB \u2192 Trash");
    EXPECT_TRUE(confirmMovesSomething(real)) << "a folder left for a passing reason may move on a second press";
    // Two left in place and one moved by another clean, so swapped counts read otherwise.
    real.items[1].error = real.items[1].path + " is busy; left in place";
    real.items[2].error = real.items[2].path + " was moved to the Trash by another clean";
    EXPECT_EQ(notMovedText(real), "2 folders could not be moved \u00B7 1 folder already moved to the Trash by another clean");
    // Nothing confirmed is left to move once each folder went with another
    // clean or is no longer a real folder.
    real.items[0].error = real.items[0].path + " is gone: it was moved or deleted since the preview";
    real.items[1].error = real.items[1].path + " is not a real folder (a symbolic link, a file, or a link on the way); left in place";
    EXPECT_FALSE(confirmMovesSomething(real));
    EXPECT_EQ(
        std::make_pair(reportIncludesCaution(report({"safe", "Caution"})), reportIncludesCaution(report({"caution"}))),
        std::make_pair(false, true))
        << "only the exact class counts";
    EXPECT_EQ(cleanItemBadge("caution") + cleanItemBadge("safe") + cleanItemBadge("odd") + cleanItemBadge("\u00E9t\u00E9"),
              "CautionSafeOdd\u00C9t\u00E9");
    for (const auto& [path, name] :
         std::vector<std::pair<std::string, std::string>>{{"/w/app/node_modules", "node_modules"},
                                                          {"/w/app/build/", "build"},
                                                          {"/w/app/.dart_tool//", ".dart_tool"}})
        EXPECT_EQ(cleanItemName(path), name);

    ProjectDTO p;
    p.artifacts = {artifact("/w/a/x", 5), artifact("/w/a/gone", 9, false), artifact("/w/a/empty", 0),
                   artifact("/w/a/y", 7), artifact("/w/a/z", 5)};
    std::vector<std::string> listed;
    for (const auto& a : sortedArtifacts(p)) listed.push_back(a.relative_path);
    EXPECT_EQ(listed, (std::vector<std::string>{"y", "x", "z"}));
    EXPECT_EQ(folderCountText(1) + "," + folderCountText(2), "1 folder,2 folders");
    p.reclaimable_bytes = 0;
    EXPECT_EQ(std::make_pair(filesSheetCleanTitle(p), filesSheetCanClean(p, false)),
              std::make_pair(std::string("Already cleaned"), false));
    p.reclaimable_bytes = 1;
    EXPECT_TRUE(filesSheetCanClean(p, false));
    EXPECT_FALSE(filesSheetCanClean(p, true)) << "the store would drop it while a scan runs";
    p.is_active = true;
    EXPECT_EQ(std::make_pair(filesSheetCleanTitle(p), filesSheetCanClean(p, false)),
              std::make_pair(std::string("Clean"), false));
}

struct CleanConfirmation : FlowFixture {
    std::string alpha;
    void SetUp() override {
        const char* bundle = std::getenv("TIDEWELL_BUNDLE");
        if (!bundle || !fs::exists(std::string(bundle) + "/bin/tidewell-engine")) FAIL() << "the engine was not built";
        platform::Bundle::setMainForTesting(std::string(bundle) + "/bin/tidewell");
        alpha = home.path("code/alpha");
        writeText(alpha + "/package.json", "{}");
        writeText(alpha + "/.next/cache/page.html", std::string(40'000, 'x'));
        // Old enough that the engine sees no recent activity.
        const auto old = ::time(nullptr) - 40 * 86400;
        const struct timespec times[2] = {{old, 0}, {old, 0}};
        for (const auto& e : fs::recursive_directory_iterator(home.path("code")))
            ::utimensat(AT_FDCWD, e.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
    ProjectDTO alphaProject() { return project("alpha", alpha, 50'000, 40'000); }
    // The confirmation as the main window presents it.
    static auto confirmationWindow(AppStore& store, bool reduceMotion = false) {
        ui::EnvironmentValues env;
        env.reduceMotion = reduceMotion;
        auto window = kittest::layOut(
            ui::EmptyView().frame(800, 600).modifier(ui::sheet<ProjectDTO>(
                cleanConfirmPresentation(store),
                [&store](const ProjectDTO& p) {
                    return CleanConfirmView(store, p, [&store] { cleanConfirmPresentation(store).set(std::nullopt); });
                },
                cleanConfirmSheetOptions(store))),
            {800, 600}, env);
        window->host->observe(store);
        return window;
    }
    static QImage buttonLook(kittest::Laid& window, const std::string& title) {
        window.tester.leave();  // a pointer left over a button after a tap would draw it hovered
        window.tester.settle();
        const auto f = window.tester.findText(title)->frame;
        return window.render().copy(QRectF(f.x, f.y, f.width, f.height).toAlignedRect());
    }
};

// In the smallest window a five-line banner leaves the confirmation its
// "Move to Trash": the sheet is laid out above the banner's strip.
TEST_F(CleanConfirmation, AFiveLineBannerLeavesTheSmallestWindowsConfirmationWhole) {
    AppStore store;
    ui::EnvironmentValues still;
    still.reduceMotion = true;
    auto window = kittest::layOut(RootView(store), {900, 600}, still);
    window->host->observe(store);
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }) && window->shows("Move to Trash"));
    std::string fiveLines = "Could not move 2 folders to the Trash.";
    while (fiveLines.size() < 560) fiveLines += " They are still where they were, and the next clean tries them again.";
    store.lastError = fiveLines;
    window->tester.settle();
    const ui::Rect banner = window->frame("error.banner");
    const ui::Rect move = window->tester.findText("Move to Trash")->frame;
    EXPECT_LE(move.maxY(), banner.minY());
    EXPECT_GE(move.minY(), 0);
    EXPECT_EQ(kittest::controlsDrawnWithin(*window->host, {0, banner.minY(), 900, 600 - banner.minY()}),
              std::vector<std::string>{});
}

TEST_F(CleanConfirmation, PreviewCancelConfirmAndNoCloseWhileCleaning) {
    AppStore store;
    auto window = confirmationWindow(store);
    auto& t = window->tester;
    auto previewShown = [&] {
        return runUntil([&] { return !store.isCleaning.get(); }) && window->shows("Move to Trash");
    };

    // The dry run can be left, by Escape or by its Cancel, and its late result stays silent.
    auto leftDryRun = [&] {
        store.cleanTask().wait();
        drain();
        return !(store.cleanConfirmProject.get() || store.isCleaning.get() || store.pendingCleanReport.get() ||
                 store.lastError.get() || window->shows("Confirm clean"));
    };
    store.requestClean({alphaProject()}, true);
    EXPECT_TRUE(window->shows("Calculating alpha\u2026"));
    EXPECT_FALSE(window->shows("Move to Trash"));
    t.pressKey(Qt::Key_Escape);
    EXPECT_TRUE(leftDryRun());
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(t.tapText("Cancel"));
    EXPECT_TRUE(leftDryRun());

    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(previewShown());
    const auto texts = window->texts();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& s) {
        return s.rfind("1 item \u00B7 ", 0) == 0 && s.size() > 10 && s.substr(s.size() - 10) == " \u2192 Trash";
    })) << ::testing::PrintToString(texts);
    EXPECT_TRUE(window->shows(".next") && window->shows("Safe"));
    EXPECT_FALSE(t.findText("Includes Caution items (node_modules, Pods, \u2026). Reinstall required after."))
        << "safe items only";

    // Escape while idle cancels through the store: nothing stays pending.
    t.pressKey(Qt::Key_Escape);
    EXPECT_FALSE(store.cleanConfirmProject.get() || store.pendingCleanReport.get());
    EXPECT_FALSE(window->shows("Confirm clean"));

    // "Cancel" does the same.
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(previewShown());
    ASSERT_TRUE(t.tapText("Cancel"));
    EXPECT_FALSE(store.cleanConfirmProject.get() || store.pendingCleanReport.get());

    // "Move to Trash": the sheet stays on the progress and refuses to close until the store closes it.
    // While a scan runs the store would ignore it, so it cannot be pressed.
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(previewShown());
    auto moveButtonLook = [&] { return buttonLook(*window, "Move to Trash"); };
    const QImage enabledLook = moveButtonLook();
    store.isScanning = true;
    EXPECT_NE(moveButtonLook(), enabledLook) << "drawn disabled while a scan runs";
    store.isScanning = false;
    ASSERT_TRUE(t.tapText("Move to Trash"));
    EXPECT_TRUE(window->shows("Moving to Trash\u2026"));
    t.pressKey(Qt::Key_Escape);
    cleanConfirmPresentation(store).set(std::nullopt);
    EXPECT_TRUE(store.cleanConfirmProject.get() && store.isCleaning.get());
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    store.cleanTask().wait();
    drain();
    EXPECT_FALSE(window->shows("Confirm clean"));
    EXPECT_FALSE(fs::exists(alpha + "/.next"));
    EXPECT_TRUE(fs::exists(home.path("home/.local/share/Trash/files/.next")));
}

TEST_F(CleanConfirmation, AFolderThatBecameALinkOrWentWithAnotherCleanReadsTrueAfterMoveToTrash) {
    writeText(alpha + "/.turbo/log", std::string(20'000, 'x'));
    AppStore store;
    auto window = confirmationWindow(store, true);  // a still button to look at
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }) && window->shows(".turbo"));
    // Meanwhile .next becomes a link, and another clean (a second window, the terminal) takes .turbo.
    fs::rename(alpha + "/.next", home.path("next-elsewhere"));
    fs::create_directory_symlink(home.path("next-elsewhere"), alpha + "/.next");
    // Engine runs block, so they never run on the main thread.
    const auto other = std::async(std::launch::async, [&] {
        return EngineClient::clean(alpha, true, true, nullptr, {alpha + "/.turbo"});
    }).get();
    ASSERT_TRUE(other.items.at(0).success);

    ASSERT_TRUE(window->tester.tapText("Move to Trash"));
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    store.cleanTask().wait();
    drain();
    EXPECT_TRUE(window->shows("0 items \u00B7 Zero KB \u2192 Trash")) << "nothing went to the Trash with this clean";
    EXPECT_TRUE(window->tester.findText("1 folder could not be moved \u00B7 1 folder already moved to the Trash by another clean"));
    EXPECT_EQ(store.lastError.get(),
              alpha + "/.next is not a real folder (a symbolic link, a file, or a link on the way); left in place");
    ASSERT_TRUE(store.pendingCleanReport.get());
    for (const auto& item : store.pendingCleanReport.get()->items)
        EXPECT_GT(item.bytes, 0u) << item.path << " is listed at the size its preview showed";
    // Nothing is left for Move to Trash: it is off, and the store would refuse it.
    const QImage look = buttonLook(*window, "Move to Trash");
    store.isScanning = true;
    EXPECT_EQ(buttonLook(*window, "Move to Trash"), look) << "drawn as disabled already, as while a scan runs";
    store.isScanning = false;
    store.confirmClean();
    EXPECT_FALSE(store.isCleaning.get());
    EXPECT_TRUE(fs::is_symlink(alpha + "/.next"));
}

TEST_F(CleanConfirmation, AfterACleanThatMovedNothingMoveToTrashTakesTheFolderOnTheSecondPress) {
    AppStore store;
    auto window = confirmationWindow(store, true);
    store.requestClean({alphaProject()}, true);
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }) && window->shows(".next"));
    // The Trash cannot take a folder for a moment: its files folder is a file.
    const auto trashFiles = home.path("home/.local/share/Trash/files");
    fs::remove_all(trashFiles);
    writeText(trashFiles, "");
    ASSERT_TRUE(window->tester.tapText("Move to Trash"));
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    store.cleanTask().wait();
    drain();
    ASSERT_TRUE(window->shows("0 items \u00B7 Zero KB \u2192 Trash")) << store.lastError.get().value_or("");
    ASSERT_TRUE(fs::exists(alpha + "/.next"));
    const QImage look = buttonLook(*window, "Move to Trash");
    store.isScanning = true;
    EXPECT_NE(buttonLook(*window, "Move to Trash"), look) << "enabled: drawn otherwise only while a scan runs";
    store.isScanning = false;

    fs::remove(trashFiles);
    ASSERT_TRUE(window->tester.tapText("Move to Trash"));
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    store.cleanTask().wait();
    drain();
    EXPECT_FALSE(window->shows("Confirm clean"));
    EXPECT_FALSE(fs::exists(alpha + "/.next"));
    EXPECT_TRUE(fs::exists(trashFiles + "/.next"));
    EXPECT_FALSE(store.lastError.get()) << "the first press's failure is not told after the second moved all";
}

TEST_F(CleanConfirmation, TheFilesSheetParksItsCleanForTheMainWindow) {
    AppStore store;
    auto p = alphaProject();
    p.artifacts = {artifact(alpha + "/.next", 40'000)};
    store.applyDashboard(dashboard({p}));
    store.selectedSection = AppSection::projects;
    auto window = kittest::layOut(RootView(store), {1200, 800});
    window->host->observe(store);
    auto& t = window->tester;
    const std::string sheet = "Folders that can move to Trash. Source stays put.";

    ASSERT_TRUE(t.tapText("alpha") && window->shows(sheet) && window->shows("1 folder"));
    ASSERT_TRUE(t.tapText("Close"));
    EXPECT_FALSE(window->shows(sheet) || store.cleanConfirmProject.get()) << "Close parks nothing";

    ASSERT_TRUE(t.tapText("alpha") && t.tapText("Clean"));
    EXPECT_FALSE(window->shows(sheet) || store.queuedClean);
    ASSERT_TRUE(store.cleanConfirmProject.get());
    EXPECT_TRUE(store.includeCaution.get());
    ASSERT_TRUE(runUntil([&] { return !store.isCleaning.get(); }));
    EXPECT_TRUE(window->shows("Move to Trash"));
}
