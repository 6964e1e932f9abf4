// The activity page while the user scrolls: each frame turns the wheel,
// rebuilds the page from the store's history (days are recomputed on every
// redraw), lays it out and paints it at 1280×800, 1×. The baseline is the
// same page over a short history, in the same run.

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "SampleData.h"
#include "core/AppStore.h"
#include "foundation/Bundle.h"
#include "kit/SizeClassReader.h"
#include "projects/ActivityTimeline.h"
#include "projects/ActivityTimelineRow.h"
#include "projects/ActivityView.h"
#include "ui/ViewHost.h"

using namespace platform::ui;

namespace {

constexpr Size kWindow{1280, 800};

tidewell::AppStore& store() {
    static QTemporaryDir scratch;
    static tidewell::AppStore* made = [] {
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);
        auto* s = new tidewell::AppStore;
        s->applyDashboard(tidewell::fixtures::sampleDashboard());
        return s;
    }();
    return *made;
}

// A year of history, so every day holds a handful of sessions.
std::vector<tidewell::OperationDTO> history(int operations) {
    return tidewell::fixtures::sampleHistory(operations, std::max(1, operations / 14));
}

void BM_ActivityDays(benchmark::State& state) {
    const auto ops = history(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(tidewell::activityDays(ops));
}
BENCHMARK(BM_ActivityDays)->Arg(50)->Arg(5000)->Unit(benchmark::kMillisecond);

// One row's texts, whose stack lookup walks every project of the scan: a
// small scan is the baseline, a large one shows the walk's cost.
void BM_ActivityRowTexts(benchmark::State& state) {
    tidewell::fixtures::SampleOptions options;
    options.projects = int(state.range(0));
    const std::optional<tidewell::DashboardDTO> dashboard = tidewell::fixtures::sampleDashboard(options);
    const auto sessions = tidewell::activitySessions(history(50));
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(tidewell::activityRowTexts(sessions[i++ % sessions.size()], dashboard, options.now));
    state.SetLabel("projects=" + std::to_string(state.range(0)));
}
BENCHMARK(BM_ActivityRowTexts)->Arg(24)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_ActivityScrollFrame(benchmark::State& state) {
    auto& s = store();
    s.operations = history(int(state.range(0)));
    ViewHost host;
    host.setScheduler(nullptr);
    host.setSize(kWindow);
    host.setRoot([&s] {
        return tidewell::SizeClassReader([&s](tidewell::WidthClass, tidewell::HeightClass) {
            return tidewell::ActivityView(s).padding(24);
        });
    });
    host.flush();
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    double direction = -40;
    int steps = 0;
    for (auto _ : state) {
        // Down the page and back, 40 points a notch, so the frames vary.
        if (++steps % 200 == 0) direction = -direction;
        host.scroll({640, 500}, {0, direction});
        host.flush();
        QPainter p(&target);
        host.render(p);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel("operations=" + std::to_string(state.range(0)));
}
BENCHMARK(BM_ActivityScrollFrame)->Arg(50)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::Bundle::setMainForTesting(std::string(TIDEWELL_BUNDLE_DIR) + "/bin/activity_bench");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
