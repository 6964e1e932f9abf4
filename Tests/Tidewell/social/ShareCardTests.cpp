// Share cards: the post texts and pages, the upload against the stand-in
// service, the heading limit, the photo decode, and the sheet's background
// setting and posts that outlive it, and the prompt's keys.
#include <QBuffer>
#include <QUrlQuery>

#include "AccountTesting.h"
#include "FeedingPipe.h"
#include "Tidewell/core/StoreTestEnvironment.h"
#include "Tidewell/kit/KitViewTesting.h"
#include "core/AppStore.h"
#include "desktop/HttpClient.h"
#include "desktop/OpenPanel.h"
#include "foundation/Files.h"
#include "social/ShareCardSheet.h"
#include "social/SharePromptCard.h"

namespace {

using namespace tidewell;
namespace ui = platform::ui;
namespace svc = tidewell::service;

const std::string fixedLink = "https://tidewell.app/?ref=share";

TEST(SharePostTest, HostileHeadingsArriveWholeInTheTextAndBothPages) {
    for (const std::string heading : {"a+b & c=d #tag ?x=%20;/", "🧑‍💻 100% done\nnext line", ""}) {
        const std::string text = sharePostText(heading, std::nullopt);
        EXPECT_EQ(text, heading + ". Found and cleared with Tidewell " + fixedLink + " #buildinpublic #devtools");
        const QUrl x(QString::fromStdString(sharePostPageURL(ShareNetwork::x, text)));
        const QUrl linkedIn(QString::fromStdString(sharePostPageURL(ShareNetwork::linkedIn, text)));
        EXPECT_EQ(x.toString(QUrl::RemoveQuery), "https://x.com/intent/post");
        EXPECT_EQ(linkedIn.toString(QUrl::RemoveQuery), "https://www.linkedin.com/feed/");
        using Items = QList<QPair<QString, QString>>;
        EXPECT_EQ(QUrlQuery(x).queryItems(QUrl::FullyDecoded), (Items{{"text", QString::fromStdString(text)}})) << heading;
        EXPECT_EQ(QUrlQuery(linkedIn).queryItems(QUrl::FullyDecoded),
                  (Items{{"shareActive", "true"}, {"text", QString::fromStdString(text)}}))
            << heading;
    }
    EXPECT_EQ(sharePostText(trimmedShareHeading(" \n\t "), "https://tidewell.app/s/1"),
              ". Found and cleared with Tidewell https://tidewell.app/s/1 #buildinpublic #devtools");
    EXPECT_EQ(shareImageFileName(1'500'000'000), "Tidewell-1.5GB.png");
}

TEST(ShareHeadingTest, KeepsEightyCharactersCountingAnEmojiOnce) {
    const std::string family = "👨‍👩‍👧‍👦", a79(79, 'a'), a80(80, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {std::string(100, 'a'), a80}, {a80, a80}, {a79 + family + "bc", a79 + family}, {a79 + family, a79 + family}, {"", ""}};
    for (const auto& [typed, kept] : cases) EXPECT_EQ(limitedShareHeading(typed), kept);
}

TEST(SharePhotoTest, UnreadableOrVastFilesAreRefusedAndLargeOnesScaled) {
    const auto dir = std::filesystem::temp_directory_path() / ("tidewell-photo-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "broken.png") << "not a picture";
    // A bitmap header that claims 20000 × 20000 pixels and holds none.
    QByteArray bmp(54, '\0');
    auto put32 = [&](int at, quint32 v) { for (int i = 0; i < 4; ++i) bmp[at + i] = char((v >> (8 * i)) & 0xFF); };
    bmp[0] = 'B', bmp[1] = 'M', put32(2, 54), put32(10, 54), put32(14, 40), put32(18, 20000), put32(22, 20000);
    bmp[26] = 1, bmp[28] = 24;
    std::ofstream(dir / "vast.bmp", std::ios::binary).write(bmp.constData(), bmp.size());
    QImage(5000, 100, QImage::Format_RGB32).save(QString::fromStdString((dir / "wide.png").string()));
    EXPECT_EQ(loadSharePhoto((dir / "broken.png").string()), std::nullopt);
    EXPECT_EQ(loadSharePhoto((dir / "vast.bmp").string()), std::nullopt);
    EXPECT_EQ(loadSharePhoto((dir / "missing.jpg").string()), std::nullopt);
    EXPECT_EQ(loadSharePhoto((dir / "wide.png").string())->size(), QSize(4096, 81));
    {
        testsupport::FeedingPipe pipe((dir / "pipe.png").string(), *platform::readFileContents((dir / "wide.png").string()));
        EXPECT_EQ(loadSharePhoto((dir / "pipe.png").string()), std::nullopt) << "a named pipe is never waited on";
    }
    std::filesystem::remove_all(dir);
}

class ShareUploadTest : public accounttest::AccountTest {
protected:
    std::optional<std::string> upload(const std::string& heading) {
        std::optional<std::optional<std::string>> got;
        tidewell::upload(std::string("\xFF\xD8\xFF\xE0 jpeg"), heading, [&](auto url) { got = url; });
        settle([&] { return got.has_value(); });
        return got.value_or(std::nullopt);
    }
};

TEST_F(ShareUploadTest, OnlyA200WithAWebAddressGivesTheImageLink) {
    const auto url = upload("a+b & c=d #1");
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->rfind(service.origin() + "/s/", 0), 0u) << *url;
    EXPECT_EQ(service.requests.back().target, "/api/share?heading=a%2Bb%20%26%20c%3Dd%20%231");
    EXPECT_EQ(service.requests.back().contentType, "image/jpeg");
    EXPECT_EQ(service.requests.back().authorization, "");
    storeToken("tok");
    EXPECT_TRUE(upload("x").has_value());
    EXPECT_EQ(service.requests.back().authorization, "Bearer tok");

    const auto json = [](const char* body) { return tidewell::service::ServiceAnswer{200, "application/json", body, {}}; };
    for (const auto& answer : {svc::emptyAnswer(201), svc::emptyAnswer(204), svc::serverErrorPage(), svc::tooManyRequests(),
                               svc::junkOK(), json("{\"url\":\"not a url\"}"), json("{\"url\":\"javascript:alert(1)\"}"),
                               json("{\"url\":7}")}) {
        service.force("share", answer);
        EXPECT_EQ(upload("x"), std::nullopt) << answer.status << " " << answer.body;
    }
    ::setenv("TIDEWELL_SITE", "http://127.0.0.1:1", 1);
    EXPECT_EQ(upload("x"), std::nullopt);
}

struct ScriptedPanel : platform::OpenPanel {
    std::optional<std::vector<std::string>> answer;
    void begin(const platform::OpenPanelOptions&, Completion done) override { done(answer); }
};

class ShareSheetTest : public ::testing::Test {
protected:
    tidewell::testing::ScratchHome home;
    std::optional<AppStore> store{std::in_place};
    platform::RecordingWorkspace workspace;
    platform::ScopedWorkspace scoped{workspace};
    platform::RecordingHttpClient http;
    ScriptedPanel panel;
    ShareSheetTest() {
        platform::HttpClient::setShared(&http);
        platform::OpenPanel::setShared(&panel);
    }
    ~ShareSheetTest() override {
        platform::HttpClient::setShared(nullptr);
        platform::OpenPanel::setShared(nullptr);
    }
    std::unique_ptr<kittest::Laid> sheet() {
        return kittest::layOut(ShareCardSheet(*store, [] {}, ShareMoment::make(ShareMoment::Kind::clean, 2'000'000'000, 2)),
                               {960, 760});
    }
    // The preview's colour near its top-left corner: the first stop of the chosen preset.
    QColor previewCorner(kittest::Laid& laid) {
        const auto frame = laid.tester.findText("Share card preview: I just freed 2 GB of build files on my computer")->frame;
        return laid.render().pixelColor(int(frame.x) + 12, int(frame.y) + 12);
    }
};

TEST_F(ShareSheetTest, ThePreviewShowsTheWholeCardInTheSpaceItHas) {
    // Where the sheet has its room, the card at half size: previewWidth by previewWidth × 675 / 1200.
    EXPECT_EQ(ShareCardSheetState::previewWidth, 600);
    {
        auto laid = kittest::layOut(ShareCardSheet(*store, [] {}, ShareMoment::make(ShareMoment::Kind::clean, 2'000'000'000, 2)),
                                    {1100, 760});
        const auto frame = laid->tester.findText("Share card preview: I just freed 2 GB of build files on my computer")->frame;
        EXPECT_EQ(frame.width, ShareCardSheetState::previewWidth);
        EXPECT_EQ(frame.height, 337.5);
    }
    for (double width : {960.0, 800.0}) {
        auto laid = kittest::layOut(ShareCardSheet(*store, [] {}, ShareMoment::make(ShareMoment::Kind::clean, 2'000'000'000, 2)),
                                    {width, 760});
        const auto frame = laid->tester.findText("Share card preview: I just freed 2 GB of build files on my computer")->frame;
        EXPECT_LE(frame.maxX(), width - 24 - 20 - 260) << width << ": clear of the controls";
        EXPECT_NEAR(frame.width / frame.height, kShareCardWidth / kShareCardHeight, 0.01) << width;
    }
}

TEST_F(ShareSheetTest, BackgroundChoiceRoundTripsThroughTheSettingsKey) {
    platform::UserDefaults::standard()->setInteger(kShareCardBackgroundKey, 42);
    auto first = sheet();
    EXPECT_GT(previewCorner(*first).green(), previewCorner(*first).blue());  // Forest
    ASSERT_TRUE(first->tester.tapText("Ocean background"));
    EXPECT_EQ(platform::UserDefaults::standard()->integerValue(kShareCardBackgroundKey), 1);
    auto next = sheet();
    EXPECT_GT(previewCorner(*next).blue(), previewCorner(*next).green());  // Ocean

    // A photo that cannot be read changes nothing; a readable one shows the veil's control.
    const std::string bad = home.path("bad.png"), good = home.path("good.png");
    std::ofstream(bad) << "junk";
    QImage(40, 30, QImage::Format_RGB32).save(QString::fromStdString(good));
    panel.answer = std::vector<std::string>{bad};
    next->tester.tapText("Choose Image…");
    EXPECT_FALSE(next->shows("Darken image"));
    EXPECT_EQ(store->lastError.get(), std::nullopt);
    panel.answer = std::vector<std::string>{good};
    next->tester.tapText("Choose Image…");
    EXPECT_TRUE(next->shows("Darken image"));
}

// The sheet's own operations: the preset of the stored choice, the card of
// its state, and that card as PNG and JPEG at twice its size.
TEST_F(ShareSheetTest, TheSheetDrawsItsSelectedBackgroundIntoBothImages) {
    ShareCardSheet sheet(*store, [] {}, ShareMoment::make(ShareMoment::Kind::clean, 2'000'000'000, 2));
    int stored = 42;
    sheet.backgroundID = ui::Binding<int>([&] { return stored; }, [&](int v) { stored = v; });
    ShareCardSheetState state;
    state.heading = "Freed";
    sheet.state = ui::Binding<ShareCardSheetState>::constant(state);
    EXPECT_EQ(sheet.selectedBackground().name, "Forest");
    stored = 5;
    EXPECT_EQ(sheet.selectedBackground().name, "Sand");
    EXPECT_EQ(sheet.card().background.id, 5);
    EXPECT_EQ(sheet.card().heading, "Freed");

    const auto decode = [](const std::optional<std::string>& data, const char* format) {
        QImage image;
        if (data) image.loadFromData(reinterpret_cast<const uchar*>(data->data()), int(data->size()), format);
        return image;
    };
    const QImage png = decode(sheet.pngData(), "PNG"), jpeg = decode(sheet.jpegData(), "JPEG");
    ASSERT_EQ(png.size(), QSize(2400, 1350));
    ASSERT_EQ(jpeg.size(), QSize(2400, 1350));
    // The top-left corner is Sand's first stop, FDF6EC.
    for (const QImage& image : {png, jpeg}) {
        const QColor corner = image.pixelColor(4, 4);
        EXPECT_NEAR(corner.red(), 0xFD, 3);
        EXPECT_NEAR(corner.green(), 0xF6, 3);
        EXPECT_NEAR(corner.blue(), 0xEC, 3);
    }
}

TEST_F(ShareSheetTest, APostOpensTheNetworksPageWithTheUploadedImageAndSaysSo) {
    auto laid = sheet();
    ASSERT_TRUE(laid->tester.tapText("Post on LinkedIn"));
    platform::processMainEventsUntil([&] { return !http.sent.empty(); }, std::chrono::seconds(10));
    ASSERT_EQ(http.sent.size(), 1u);
    http.answer(0, {200, R"({"url":"https://tidewell.app/s/abc"})", platform::HttpFailure::none, ""});
    laid->tester.settle();
    ASSERT_EQ(workspace.openedURLs.size(), 1u);
    EXPECT_EQ(workspace.openedURLs[0],
              sharePostPageURL(ShareNetwork::linkedIn, sharePostText("I just freed 2 GB of build files on my computer",
                                                                    std::string("https://tidewell.app/s/abc"))));
    EXPECT_TRUE(laid->tester.findText("Post opened in your browser. Press Ctrl+V there to attach the image, then post."));
    EXPECT_FALSE(laid->shows("Preparing post…"));
}

// With nothing on the desktop to open a browser, the sheet never says the
// post opened: the banner says why it did not.
TEST_F(ShareSheetTest, APostThatNothingCanOpenIsNotSaidToHaveOpened) {
    workspace.openFailure = std::string(platform::kNoBrowserReason);
    auto laid = sheet();
    ASSERT_TRUE(laid->tester.tapText("Post on X"));
    platform::processMainEventsUntil([&] { return !http.sent.empty(); }, std::chrono::seconds(10));
    ASSERT_EQ(http.sent.size(), 1u);
    http.answer(0, {200, R"({"url":"https://tidewell.app/s/abc"})", platform::HttpFailure::none, ""});
    platform::processMainEventsUntil([&] { return store->lastError.get().has_value(); }, std::chrono::seconds(10));
    laid->tester.settle();
    ASSERT_EQ(workspace.openedURLs.size(), 1u);
    EXPECT_EQ(store->lastError.get(), "Could not open " + workspace.openedURLs[0] + " in a browser: no web browser is installed.");
    EXPECT_FALSE(laid->shows("Post opened in your browser. Press Ctrl+V there to attach the image, then post."));
    EXPECT_FALSE(laid->shows("Preparing post…"));
}

TEST_F(ShareSheetTest, APostAndItsStatusFinishHarmlesslyAfterTheSheetIsGone) {
    auto laid = sheet();
    ASSERT_TRUE(laid->tester.tapText("Post on X"));
    EXPECT_EQ(workspace.copiedImages.size(), 1u);
    EXPECT_TRUE(laid->shows("Preparing post…"));
    platform::processMainEventsUntil([&] { return !http.sent.empty(); }, std::chrono::seconds(10));
    ASSERT_EQ(http.sent.size(), 1u);
    laid->host->setRootView(ui::EmptyView());
    laid->tester.settle();
    http.answer(0, {204, "", platform::HttpFailure::none, ""});
    ASSERT_EQ(workspace.openedURLs.size(), 1u);
    EXPECT_NE(workspace.openedURLs[0].find(percentEncodedQueryValue(fixedLink)), std::string::npos);
    // The status line's clear comes 6 s later, to a sheet that is gone.
    bool over = false;
    platform::postToMainAfter(std::chrono::milliseconds(6200), [&] { over = true; });
    platform::processMainEventsUntil([&] { return over; }, std::chrono::seconds(10));
    laid->tester.settle();
    EXPECT_EQ(store->lastError.get(), std::nullopt);
}

TEST_F(ShareSheetTest, PromptTakesReturnAsShareAndEscapeAsNotNow) {
    EXPECT_EQ(sharePromptProjectsLine(1), "reclaimed from 1 project");
    EXPECT_EQ(sharePromptProjectsLine(0), "reclaimed from 0 projects");
    const auto moment = ShareMoment::make(ShareMoment::Kind::clean, 1'500'000'000, 1);
    auto laid = kittest::layOut(SharePromptCard(*store, moment), {500, 420});
    EXPECT_TRUE(laid->shows("1.5 GB"));
    store->sharePrompt = moment;
    laid->tester.pressKey(Qt::Key_Escape);
    EXPECT_EQ(store->sharePrompt.get(), std::nullopt);
    EXPECT_EQ(store->shareSheet.get(), std::nullopt);
    store->sharePrompt = moment;
    laid->tester.pressKey(Qt::Key_Return);
    EXPECT_EQ(store->sharePrompt.get(), std::nullopt);
    platform::processMainEventsUntil([&] { return store->shareSheet.get().has_value(); }, std::chrono::seconds(5));
    EXPECT_EQ(store->shareSheet.get(), moment);
}

}  // namespace
