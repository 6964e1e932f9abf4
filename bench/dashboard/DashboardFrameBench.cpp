// Frame cost of the dashboard's result page with 5,000 projects over 17
// stacks: the tree rebuilt from the store, laid out and painted at 1×, beside
// the view layer's 500-row page as the baseline of the same run.

#include "SampleData.h"
#include "SamplePages.h"

#include "core/AppStore.h"
#include "dashboard/DashboardView.h"
#include "dashboard/ProjectTypesStrip.h"
#include "dashboard/ReclaimSideCard.h"
#include "shell/StartupDiskCard.h"
#include "foundation/Bundle.h"
#include "kit/SizeClassReader.h"
#include "ui/ViewHost.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>

using namespace platform::ui;

namespace {

tidewell::AppStore& largeStore() {
    static tidewell::AppStore* store = [] {
        // A scratch home, so the store reads and writes nothing of the user's.
        static QTemporaryDir scratch;
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);
        auto* s = new tidewell::AppStore;
        tidewell::fixtures::SampleOptions options;
        options.projects = 5000;
        options.stacks = 17;
        s->dashboard = tidewell::fixtures::sampleDashboard(options);
        s->startupDisk = tidewell::VolumeSpace{"File System", 500'000'000'000, 120'000'000'000};
        return s;
    }();
    return *store;
}

enum class Work { all, layout, paint };

// One frame, apart so that an instruction counter can be limited to it
// (`valgrind --tool=callgrind --toggle-collect='*frame*'`).
[[gnu::noinline]] void frame(ViewHost& host, double& now, QImage& target, Work work, double loopFrom = 0,
                             double loopLength = 0) {
    if (work != Work::paint) {
        now += 1.0 / 24;
        // Back to the start of the loop: the tracks keep their start, so the same frames come again.
        if (loopLength > 0 && now > loopFrom + loopLength) now = loopFrom + 1.0 / 24;
        host.setNeedsRebuild();
        host.flush();
    }
    if (work == Work::layout) return;
    QPainter p(&target);
    host.render(p);
    p.end();
    benchmark::DoNotOptimize(target.constBits());
}

// `entrance` > 0: the frames step through that many seconds after the page
// appeared, again and again, so every frame is one of the entrance's.
void runFrames(benchmark::State& state, std::function<View()> page, Size window, Work work = Work::all,
               double entrance = 0) {
    // The page's own clock: frames a timeline tick apart, after the bubbles'
    // entrance is over, the same in every run.
    double now = 100;
    ViewHost host;
    host.setScheduler(nullptr);
    host.setClock([&now] { return now; });
    host.setSize(window);
    host.setRoot(std::move(page));
    host.flush();
    host.flush();  // the strip's measured row width settles in the second pass
    if (entrance <= 0) {
        now += 3;
        host.setNeedsRebuild();
        host.flush();
    }
    QImage target(int(window.width), int(window.height), QImage::Format_ARGB32_Premultiplied);
    const double appeared = now;
    for (auto _ : state)
        frame(host, now, target, work, appeared, entrance);
}

void BM_Baseline500Rows(benchmark::State& state) {
    runFrames(state, [] { return samples::rowsPage(500); }, {1280, 800});
}
BENCHMARK(BM_Baseline500Rows)->Unit(benchmark::kMillisecond);

// The page as the main window holds it: inside the size-class reader.
View dashboardPage() {
    tidewell::AppStore& store = largeStore();
    return tidewell::SizeClassReader([&store](tidewell::WidthClass, tidewell::HeightClass) {
        return tidewell::DashboardView(store);
    });
}

// The wide page's two halves apart: where a slow frame spends its time.
void BM_DashboardRebuildAndLayout(benchmark::State& state) { runFrames(state, dashboardPage, {1440, 900}, Work::layout); }
BENCHMARK(BM_DashboardRebuildAndLayout)->Unit(benchmark::kMillisecond);
void BM_DashboardPaintOnly(benchmark::State& state) { runFrames(state, dashboardPage, {1440, 900}, Work::paint); }
BENCHMARK(BM_DashboardPaintOnly)->Unit(benchmark::kMillisecond);

void BM_DashboardResult(benchmark::State& state) {
    runFrames(state, dashboardPage, {double(state.range(0)), double(state.range(1))});
    state.SetLabel("projects=5000 stacks=17 " + std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)));
}
BENCHMARK(BM_DashboardResult)->Args({1280, 800})->Args({1440, 900})->Args({960, 640})->Unit(benchmark::kMillisecond);

// One frame of the left-alone page as a window runs it: the timeline's
// views are built again and the part they damaged painted.
void BM_DashboardIdleTick(benchmark::State& state) {
    const Size window{double(state.range(0)), double(state.range(1))};
    double now = 100;
    ViewHost host;
    host.setScheduler(nullptr);
    host.setClock([&now] { return now; });
    host.setSize(window);
    host.setRoot(dashboardPage);
    host.flush();
    host.flush();
    now += 3;  // after the bubbles' entrance
    host.setNeedsRebuild();
    host.flush();
    QImage target(int(window.width), int(window.height), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        now += 1.0 / 24;
        host.tick();
        QPainter p(&target);
        host.render(p, host.takeDamage());
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel("projects=5000 stacks=17, escalated " + std::to_string(host.escalationCount()) + " of " +
                   std::to_string(host.readerRebuildCount()));
}
BENCHMARK(BM_DashboardIdleTick)->Args({1440, 900})->Args({960, 640})->Unit(benchmark::kMillisecond);

// The first half second after the page appears, while the bubbles scale and fade in.
void BM_DashboardEntrance(benchmark::State& state) { runFrames(state, dashboardPage, {1440, 900}, Work::all, 0.5); }
BENCHMARK(BM_DashboardEntrance)->Unit(benchmark::kMillisecond);

// The page's own cards, without the storage tree below them: the row of the
// wide arrangement with the 17-stack strip.
void BM_DashboardCardRow(benchmark::State& state) {
    tidewell::AppStore& store = largeStore();
    runFrames(state, [&store] {
        const tidewell::DashboardDTO& dash = *store.dashboard.get();
        FrameSpec card;
        card.maxWidth = infinity;
        card.maxHeight = infinity;
        card.alignment = Alignment::top;
        return HStack(VerticalAlignment::top, 12,
                      {tidewell::StartupDiskCard(store, tidewell::StartupDiskCardStyle::wide, true, "dashboard.startupDisk").frame(card),
                       tidewell::ReclaimSideCard(store, dash, true, "dashboard.reclaim").frame(card),
                       tidewell::ProjectTypesStrip(store, dash.by_type, true, "dashboard.projectTypes").frame(card)})
            .fixedSize(false, true)
            .padding(20);
    }, {1440, 900});
}
BENCHMARK(BM_DashboardCardRow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::Bundle::setMainForTesting(std::string(TIDEWELL_BUNDLE_DIR) + "/bin/dashboard_bench");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
