// The project list over a large disk, at 1280×800 and 1×: a frame while the
// user scrolls the grid (the page rebuilds its visible list, sorted, on every
// redraw), and one typed character of a search up to the next painted frame.
// The baseline is the same page over the sample disk of 24 projects, in the
// same run.

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
#include "projects/ProjectListView.h"
#include "ui/UITester.h"
#include "ui/ViewHost.h"

using namespace platform::ui;

namespace {

constexpr Size kWindow{1280, 800};

tidewell::AppStore& store(int projects) {
    static QTemporaryDir scratch;
    static tidewell::AppStore* made = [] {
        for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
            ::setenv(variable, scratch.path().toLocal8Bit().constData(), 1);
        return new tidewell::AppStore;
    }();
    tidewell::fixtures::SampleOptions options;
    options.projects = projects;
    made->applyDashboard(tidewell::fixtures::sampleDashboard(options));
    return *made;
}

std::unique_ptr<ViewHost> pageHost(tidewell::AppStore& s) {
    auto host = std::make_unique<ViewHost>();
    host->setScheduler(nullptr);
    host->setSize(kWindow);
    host->setRoot([&s] {
        return tidewell::SizeClassReader(
            [&s](tidewell::WidthClass, tidewell::HeightClass) { return tidewell::ProjectListPage(s).padding(24); });
    });
    host->flush();
    return host;
}

void paint(ViewHost& host, QImage& target) {
    QPainter p(&target);
    host.render(p);
    p.end();
    benchmark::DoNotOptimize(target.constBits());
}

// What the page derives on every redraw: the visible list, sorted, and the selection sets.
void BM_ProjectListRules(benchmark::State& state) {
    auto& s = store(int(state.range(0)));
    tidewell::ProjectListInputs in;
    in.dashboard = &*s.dashboard.get();
    in.state.query = state.range(1) ? "or" : "";
    for (auto _ : state) benchmark::DoNotOptimize(tidewell::deriveProjectList(in));
    state.SetLabel(std::string("projects=") + std::to_string(state.range(0)) + (state.range(1) ? " query" : ""));
}
BENCHMARK(BM_ProjectListRules)->Args({5000, 0})->Args({5000, 1})->Unit(benchmark::kMillisecond);

void BM_ProjectListScrollFrame(benchmark::State& state) {
    auto& s = store(int(state.range(0)));
    auto host = pageHost(s);
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    double direction = -40;
    int steps = 0;
    for (auto _ : state) {
        // Down the grid and back, 40 points a notch, so the frames vary.
        if (++steps % 200 == 0) direction = -direction;
        host->scroll({640, 600}, {0, direction});
        host->flush();
        paint(*host, target);
    }
    state.SetLabel("projects=" + std::to_string(state.range(0)));
}
BENCHMARK(BM_ProjectListScrollFrame)->Arg(24)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_ProjectListSearchKeystroke(benchmark::State& state) {
    auto& s = store(int(state.range(0)));
    auto host = pageHost(s);
    UITester tester(*host);
    tester.tapText("Search name or path");
    tester.typeText("o");
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    bool typed = false;
    for (auto _ : state) {
        // "o" and "or" in turn: every keystroke changes a non-empty query.
        if (typed)
            host->key(KeyPress{Qt::Key_Backspace, "", 0});
        else
            host->key(KeyPress{Qt::Key_R, "r", 0});
        typed = !typed;
        host->flush();
        paint(*host, target);
    }
    state.SetLabel("projects=" + std::to_string(state.range(0)));
}
BENCHMARK(BM_ProjectListSearchKeystroke)->Arg(24)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::Bundle::setMainForTesting(std::string(TIDEWELL_BUNDLE_DIR) + "/bin/projects_bench");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
