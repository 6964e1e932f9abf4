// Onboarding: what each step shows, and the last step's save, completion
// and first scan on a store whose engine is a script.
#include <fstream>

#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "core/FolderAccess.h"
#include "desktop/OpenPanel.h"
#include "runtime/MainActor.h"
#include "shell/OnboardingView.h"
#include "ui/Image.h"

using namespace kittest;
namespace fs = std::filesystem;

namespace {

// Answers the folder panel with a fixed choice.
struct ChosenFolders final : platform::OpenPanel {
    std::vector<std::string> folders;
    void begin(const platform::OpenPanelOptions&, Completion done) override { done(folders); }
};

class OnboardingOnStore : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    std::string bin = home.path("bundle/bin"), root = home.path("work/code");
    std::optional<tidewell::AppStore> store;
    ChosenFolders panel;
    std::unique_ptr<Laid> laid;
    bool completed = false;
    std::optional<std::vector<std::string>> savedRootsAtCompletion;

    void SetUp() override {
        // Symbols resolve once per run: find them in the built bundle first.
        for (const char* s : {"checkmark.circle.fill", "circle", "leaf.fill"}) (void)platform::ui::symbolFile(s);
        fs::create_directories(bin);
        fs::create_directories(root);
        tidewell::DashboardDTO dashboard;
        dashboard.project_count = 1;
        dashboard.projects = {tidewell::testing::project("p1", root + "/alpha", 4000, 4000)};
        std::ofstream(bin + "/dashboard.json") << tidewell::encode(dashboard);
        tidewell::testing::writeScript(bin + "/tidewell-engine",
                                       "here=$(dirname \"$0\")\necho \"$@\" >> \"$here/args.txt\"\ncat \"$here/dashboard.json\"\n");
        platform::Bundle::setMainForTesting(bin + "/tidewell");
        platform::OpenPanel::setShared(&panel);
        store.emplace();
        store->scanRoots = {};
    }
    void TearDown() override {
        platform::OpenPanel::setShared(nullptr);
        useBuiltBundle();
    }
    void show() {
        platform::ui::Binding<bool> flag([this] { return completed; },
                                         [this](bool done) {
                                             completed = done;
                                             savedRootsAtCompletion = home.defaults().stringArray("scanRoots");
                                             // The window swaps its content as the shell does.
                                             laid->host->setRootView(platform::ui::Text("root view"));
                                         });
        laid = layOut(tidewell::OnboardingView(*store, flag), {960, 640});
    }
    std::vector<std::string> buttons() {
        std::vector<std::string> out;
        for (const auto& b : laid->tester.findAll([](const auto& n) { return n.hasTrait(AccessibilityTrait::button); }))
            out.push_back(b.label.empty() && !b.texts.empty() ? b.texts[0] : b.label);
        return out;
    }
};

TEST_F(OnboardingOnStore, ThreeStepsThenSaveCompleteAndScan) {
    show();
    EXPECT_EQ(buttons(), (std::vector<std::string>{"Choose Folders…", "Continue"}));
    panel.folders = {root};
    ASSERT_TRUE(laid->tester.tapText("Choose Folders…"));
    // The chosen folder is looked at off the main actor before it is added.
    EXPECT_TRUE(platform::processMainEventsUntil([&] { return store->scanRoots.get() == std::vector<std::string>{root}; }));

    ASSERT_TRUE(laid->tester.tapText("Continue"));
    EXPECT_EQ(buttons(), (std::vector<std::string>{"Open Privacy Settings", "Continue"}));
    ASSERT_TRUE(laid->tester.tapText("Continue"));
    EXPECT_EQ(buttons(), std::vector<std::string>{"Grow the Forest"});
    EXPECT_FALSE(completed);

    ASSERT_TRUE(laid->tester.tapText("Grow the Forest"));
    EXPECT_TRUE(completed);
    EXPECT_EQ(savedRootsAtCompletion, std::vector<std::string>{root}) << "settings are saved before completing";
    EXPECT_TRUE(laid->shows("root view"));
    ASSERT_TRUE(platform::processMainEventsUntil([&] { return store->dashboard.get().has_value(); }));
    store->scanTask().wait();
    std::ifstream calls(bin + "/args.txt");
    std::string line;
    ASSERT_TRUE(std::getline(calls, line));
    EXPECT_NE(line.find(" scan "), std::string::npos) << line;
    EXPECT_NE(line.find("--root " + root), std::string::npos) << line;
}

TEST_F(OnboardingOnStore, TheFirstStepSaysTheScanReadsTheFoldersAndTheAccessStepHasNothingToGrant) {
    show();
    EXPECT_TRUE(laid->shows("The first scan reads the startup disk and any other folders you add. You can change the "
                            "list later in Settings."));

    ASSERT_TRUE(laid->tester.tapText("Continue"));
    EXPECT_TRUE(laid->shows("Full Disk Access"));
    EXPECT_EQ(buttons(), (std::vector<std::string>{"Open Privacy Settings", "Continue"}));

    // The README says what the window shows: the step is there, its button disabled.
    std::ifstream readme(std::string(std::getenv("TIDEWELL_SOURCE_DIR")) + "/README.md");
    std::string line, fullDiskAccess;
    for (bool inEntry = false; std::getline(readme, line);) {
        if (line.starts_with("- ") || line.empty()) inEntry = line.find("Full Disk Access") != std::string::npos;
        if (inEntry) fullDiskAccess += line.substr(line.find_first_not_of(' ')) + " ";
    }
    EXPECT_EQ(fullDiskAccess.find("no Full Disk Access step"), std::string::npos) << fullDiskAccess;
    EXPECT_NE(fullDiskAccess.find("Onboarding still shows the step"), std::string::npos) << fullDiskAccess;
    EXPECT_NE(fullDiskAccess.find("\"Open Privacy Settings\" button"), std::string::npos) << fullDiskAccess;
    EXPECT_NE(fullDiskAccess.find("is shown disabled"), std::string::npos) << fullDiskAccess;
}

}  // namespace
