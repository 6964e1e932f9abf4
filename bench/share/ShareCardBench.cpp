// The share card as every export makes it: rendered at 2× (2400 × 1350) with
// a window capture, the character and the display face, then encoded as PNG
// and as JPEG. The render alone runs first as the baseline; the budget for
// render + PNG + JPEG together is 150 ms.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>

#include "character/CharacterProfile.h"
#include "foundation/Bundle.h"
#include "kit/BundledFonts.h"
#include "social/ShareCardCanvas.h"
#include "social/ShareCardExport.h"
#include "social/ShareMoment.h"

namespace {

using namespace tidewell;

ShareCardCanvas sampleCard() {
    // A window-sized picture with some structure, as a capture would be.
    QImage window(2360, 1520, QImage::Format_ARGB32_Premultiplied);
    window.setDevicePixelRatio(2);
    QPainter p(&window);
    QLinearGradient g(0, 0, 2360, 1520);
    g.setColorAt(0, QColor(0x13, 0x1C, 0x20));
    g.setColorAt(1, QColor(0x25, 0x2F, 0x33));
    p.fillRect(QRectF(0, 0, 1180, 760), g);
    for (int i = 0; i < 40; ++i) p.fillRect(QRectF(220 + (i % 5) * 190, 120 + (i / 5) * 80, 170, 60), QColor(40 + i * 3, 80, 120));
    p.end();
    ShareCardCanvas card;
    card.heading = ShareMoment::make(ShareMoment::Kind::clean, 18'700'000'000, 4).defaultHeading();
    card.background = shareBackground(1);
    card.window = window;
    CharacterProfile profile;
    profile.name = "BriskOtter4821";
    card.character = profile;
    card.lifetimeBytes = 128'400'000'000;
    return card;
}

void BM_RenderOnly(benchmark::State& state) {
    const auto card = sampleCard();
    for (auto _ : state) benchmark::DoNotOptimize(renderShareCard(card, platform::ui::ColorScheme::dark));
}

void BM_RenderPNG(benchmark::State& state) {
    const auto card = sampleCard();
    for (auto _ : state) benchmark::DoNotOptimize(sharePNGData(renderShareCard(card, platform::ui::ColorScheme::dark)));
}

void BM_RenderJPEG(benchmark::State& state) {
    const auto card = sampleCard();
    for (auto _ : state) benchmark::DoNotOptimize(shareJPEGData(renderShareCard(card, platform::ui::ColorScheme::dark)));
}

// What one post and one save cost together: one render, both encodings.
void BM_RenderPNGAndJPEG(benchmark::State& state) {
    const auto card = sampleCard();
    for (auto _ : state) {
        const QImage image = renderShareCard(card, platform::ui::ColorScheme::dark);
        benchmark::DoNotOptimize(sharePNGData(image));
        benchmark::DoNotOptimize(shareJPEGData(image));
    }
}

BENCHMARK(BM_RenderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderPNG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderJPEG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderPNGAndJPEG)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string bundle = TIDEWELL_BUILT_BUNDLE;
    platform::Bundle::setMainForTesting(bundle + "/bin/tidewell", bundle + "/Resources");
    registerBundledFonts();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
