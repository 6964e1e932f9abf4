// The share card's pictures: every preset background, the card over a captured
// main window, over a photo, and all presets side by side.
#include "ScreenshotPages.h"
#include "SampleStore.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "kit/BundledFonts.h"
#include "shell/RootView.h"
#include "social/ShareCardCanvas.h"
#include "social/ShareCardSheet.h"
#include "social/SharePromptCard.h"
#include "ui/UI.h"

using namespace platform::ui;
using namespace tidewell;

namespace {

AppStore& shareStore()
{
    // The display face, as the application registers it at start.
    registerBundledFonts();
    AppStore& store = sampleStore();
    CharacterProfile p = store.character.get();
    p.body = CharacterBody::robot;
    p.colorIndex = 2;
    p.accessory = CharacterAccessory::headphones;
    p.name = "BriskOtter4821";
    p.isSetUp = true;
    p.showsOnShareCard = true;
    store.setCharacter(p);
    store.lifetimeReclaimedBytes = 128'400'000'000;
    return store;
}

// The main window as the capture would give it, in the appearance asked for.
QImage capturedWindow(ColorScheme scheme)
{
    AppStore& store = shareStore();
    EnvironmentValues env;
    env.colorScheme = scheme;
    return renderToImage(RootView(store), {1180, 760}, 1, env);
}

// A stand-in photo: a dusk sky over layered hills.
QImage photo()
{
    QImage image(1600, 1000, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 1000);
    sky.setColorAt(0, QColor(0x2B, 0x3A, 0x67));
    sky.setColorAt(0.55, QColor(0xE0, 0x7A, 0x5F));
    sky.setColorAt(1, QColor(0xF2, 0xCC, 0x8F));
    p.fillRect(image.rect(), sky);
    QRadialGradient sun(1100, 560, 160);
    sun.setColorAt(0, QColor(255, 236, 190));
    sun.setColorAt(1, QColor(255, 236, 190, 0));
    p.fillRect(image.rect(), sun);
    const QColor hills[] = {QColor(0x6D, 0x59, 0x7A), QColor(0x35, 0x5C, 0x7D), QColor(0x1B, 0x2F, 0x3A)};
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath path;
        const double base = 600 + layer * 130;
        path.moveTo(0, 1000);
        for (int x = 0; x <= 1600; x += 40)
            path.lineTo(x, base - 70 * std::sin(x / (180.0 + 60 * layer) + layer) - 30 * std::sin(x / 57.0));
        path.lineTo(1600, 1000);
        p.fillPath(path, hills[layer]);
    }
    return image;
}

ShareCardCanvas card(int background, bool window, bool withPhoto, ColorScheme scheme, double dim = 0.35,
                     std::optional<std::string> heading = std::nullopt)
{
    AppStore& store = shareStore();
    ShareCardCanvas c;
    c.heading = heading.value_or(ShareMoment::make(ShareMoment::Kind::clean, 18'700'000'000, 4).defaultHeading());
    c.background = shareBackground(background);
    if (withPhoto) c.customImage = photo();
    c.dim = dim;
    if (window) c.window = capturedWindow(scheme);
    c.character = store.character.get();
    c.lifetimeBytes = store.lifetimeReclaimedBytes.get();
    return c;
}

// The appearance of the page (the placeholder's surface follows it) comes
// from the screenshot program's environment.
View cardPage(int background, bool window, bool withPhoto)
{
    return EnvironmentReader([=](const EnvironmentValues& env) { return card(background, window, withPhoto, env.colorScheme).body(); });
}

// A heading of 80 characters that needs three lines at full size, and an empty one.
View headings()
{
    return EnvironmentReader([](const EnvironmentValues& env) {
        // Exactly the sheet's limit, as a user could type it (not a longer text cut short).
        const std::string long80 = "Cleared node_modules, DerivedData and Gradle caches from sixteen forgotten apps!";
        auto small = [&](std::string heading) {
            return card(5, false, false, env.colorScheme, 0.35, heading).body().scaleEffect(0.5, UnitPoint::topLeading)
                .frame(600, 337.5, Alignment::topLeading).clipped();
        };
        return HStack(VerticalAlignment::top, 16, {small(long80), small("")}).padding(16);
    });
}

View allPresets()
{
    return EnvironmentReader([](const EnvironmentValues& env) {
        ViewList rows;
        for (int row = 0; row < 4; ++row) {
            ViewList cells;
            for (int col = 0; col < 2; ++col) {
                const auto& preset = ShareBackground::presets()[std::size_t(row * 2 + col)];
                cells.push_back(VStack(HorizontalAlignment::leading, 6,
                                       {card(preset.id, false, false, env.colorScheme)
                                            .body()
                                            .scaleEffect(0.4, UnitPoint::topLeading)
                                            .frame(480, 270, Alignment::topLeading)
                                            .clipped(),
                                        Text(preset.name).font(Font::caption())}));
            }
            rows.push_back(HStack(VerticalAlignment::top, 20, cells));
        }
        return VStack(HorizontalAlignment::leading, 16, rows).padding(24).background(View(Color::dynamic(
            Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125))));
    });
}

// The sheet over the captured window, and the prompt, each on the window's surface.
View sheetPage(ShareMoment::Kind kind)
{
    return EnvironmentReader([kind](const EnvironmentValues& env) {
        AppStore& store = shareStore();
        store.shareWindowImage = capturedWindow(env.colorScheme);
        return ShareCardSheet(store, [] {}, ShareMoment::make(kind, 18'700'000'000, 4));
    });
}

View promptPage()
{
    return SharePromptCard(shareStore(), ShareMoment::make(ShareMoment::Kind::clean, 1'500'000'000, 1))
        .padding(60)
        .background(View(Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125))));
}

// The main window with the prompt over it, or with the sheet presented.
View windowWith(bool sheet)
{
    return EnvironmentReader([sheet](const EnvironmentValues& env) {
        AppStore& store = shareStore();
        store.shareWindowImage = capturedWindow(env.colorScheme);
        if (sheet) store.shareSheet = ShareMoment::make(ShareMoment::Kind::total, 96'300'000'000, 11);
        else store.sharePrompt = ShareMoment::make(ShareMoment::Kind::clean, 1'500'000'000, 3);
        return RootView(store);
    });
}

const ScreenshotPage windowPrompt("share-window-prompt", [] { return windowWith(false); });
const ScreenshotPage windowSheet("share-window-sheet", [] { return windowWith(true); });
const ScreenshotPage sheet("share-sheet", [] { return sheetPage(ShareMoment::Kind::clean); });
const ScreenshotPage milestoneSheet("share-sheet-milestone", [] { return sheetPage(ShareMoment::Kind::milestone); });
const ScreenshotPage prompt("share-prompt", [] { return promptPage(); });
const ScreenshotPage headingPage("share-card-headings", [] { return headings(); });
const ScreenshotPage presets("share-presets", [] { return allPresets(); });
const ScreenshotPage forest("share-card", [] { return cardPage(0, false, false); });
const ScreenshotPage sky("share-card-sky", [] { return cardPage(4, false, false); });
const ScreenshotPage windowCard("share-card-window", [] { return cardPage(1, true, false); });
const ScreenshotPage photoCard("share-card-photo", [] { return cardPage(4, true, true); });

}  // namespace
