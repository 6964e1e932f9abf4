// Frame time of the storage tree card: one timeline tick of the whole card
// (rebuild, layout and painting of the scene, 17 bubbles, legend) at 1280×800,
// at 1× and 2×, with and without the character walking on it, against one frame of the growing-forest scan scene at the
// same size in the same run. The budget is 10 ms at 1× and 20 ms at 2×.
//
// Qt spreads large fills over its own pool of threads; `taskset -c 0
// tree_frame_bench` gives the figure for one core.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdlib>

#include "SampleData.h"
#include "core/AppStore.h"
#include "dashboard/ForestHeroCard.h"
#include "foundation/Bundle.h"
#include "kit/GrowingScanCanvas.h"
#include "ui/ViewHost.h"

namespace {

using namespace platform::ui;

constexpr Size kSize{1280, 800};

tidewell::AppStore& treeStore()
{
    static QTemporaryDir scratch;
    static bool homed = [] {
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);
        return true;
    }();
    (void)homed;
    auto& store = tidewell::AppStore::shared();
    tidewell::fixtures::SampleOptions options;
    options.projects = 60;
    options.stacks = 17;
    store.applyDashboard(tidewell::fixtures::sampleDashboard(options));
    return store;
}

struct TreeCardHost {
    double now = 100;
    ViewHost host;
    QImage image;
    double scale;

    explicit TreeCardHost(double scale_, bool character = true) : scale(scale_)
    {
        auto& store = treeStore();
        tidewell::CharacterProfile profile = store.character.get();
        profile.walksOnTree = character;
        store.setCharacter(profile);
        host.setScheduler(nullptr);
        host.setClock([this] { return now; });
        EnvironmentValues env;
        env.colorScheme = ColorScheme::dark;
        env.displayScale = scale;
        host.setEnvironment(env);
        host.setSize(kSize);
        const tidewell::DashboardDTO dash = *store.dashboard.get();
        host.setRoot([&store, dash] { return tidewell::ForestHeroCard(store, dash); });
        host.flush();
        host.flush();  // what appearing changed
        // Frames of a card on screen for a while: the bubbles' entrance is over.
        now += 3;
        tick();
        image = QImage(int(kSize.width * scale), int(kSize.height * scale), QImage::Format_ARGB32_Premultiplied);
    }
    // The timeline's tick: the next frame's time, a rebuild and a layout.
    void tick()
    {
        now += 1.0 / 24;
        host.setNeedsRebuild();
        host.flush();
    }
    void paint()
    {
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.scale(scale, scale);
        host.render(p);
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
};

void BM_TreeCardFrame(benchmark::State& state)
{
    TreeCardHost card(double(state.range(0)), state.range(1) != 0);
    for (auto _ : state) {
        card.tick();
        card.paint();
    }
}
BENCHMARK(BM_TreeCardFrame)
    ->ArgNames({"scale", "character"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The two halves of a frame: rebuilding and laying out the card, and painting it.
void BM_TreeCardBuild(benchmark::State& state)
{
    TreeCardHost card(1);
    for (auto _ : state)
        card.tick();
}
BENCHMARK(BM_TreeCardBuild)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_TreeCardPaint(benchmark::State& state)
{
    TreeCardHost card(double(state.range(0)));
    for (auto _ : state)
        card.paint();
}
BENCHMARK(BM_TreeCardPaint)->ArgNames({"scale"})->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

// The baseline: the scan scene's finished tree, drawn as its canvas draws it.
void BM_ScanSceneFrame(benchmark::State& state)
{
    const double scale = double(state.range(0));
    QImage image(int(kSize.width * scale), int(kSize.height * scale), QImage::Format_ARGB32_Premultiplied);
    double time = 8.1e8;
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        GraphicsContext context(p, std::make_shared<EnvironmentValues>(), scale);
        tidewell::renderGrowingScan(tidewell::GrowingScanCanvas(1, 5, time), context, kSize);
        p.end();
        benchmark::DoNotOptimize(image.constBits());
        time += 1.0 / 24;
    }
}
BENCHMARK(BM_ScanSceneFrame)
    ->ArgNames({"scale"})
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (const char* bundle = std::getenv("TIDEWELL_BUNDLE"))
        platform::Bundle::setMainForTesting(std::string(bundle) + "/bin/tidewell", std::string(bundle) + "/Resources");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
