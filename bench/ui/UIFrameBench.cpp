// Frame cost of the view layer: a page of 500 rows of text, symbols and
// shapes at 1280×800, rebuilt from scratch, laid out and painted each frame.

#include "SamplePages.h"

#include "foundation/Bundle.h"
#include "ui/ViewHost.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace platform::ui;

namespace {

constexpr Size kWindow{1280, 800};

std::unique_ptr<ViewHost> makeHost(int rows, bool scrolling = false)
{
    auto host = std::make_unique<ViewHost>();
    host->setScheduler(nullptr);
    host->setSize(kWindow);
    host->setRoot([rows, scrolling] { return scrolling ? samples::scrollingRowsPage(rows) : samples::rowsPage(rows); });
    host->flush();
    return host;
}

// Rebuild the tree from the page function, lay it out and paint it.
void BM_FullFrame(benchmark::State& state)
{
    auto host = makeHost(int(state.range(0)));
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        host->setNeedsRebuild();
        host->flush();
        QPainter p(&target);
        host->render(p);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetLabel("rows=" + std::to_string(state.range(0)));
}
BENCHMARK(BM_FullFrame)->Arg(500)->Unit(benchmark::kMillisecond);

// The rows in a scroll view, as a list page holds them: the stack is asked
// for its ideal height rather than squeezed into the window's.
void BM_FullFrameScrolling(benchmark::State& state)
{
    auto host = makeHost(int(state.range(0)), true);
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        host->setNeedsRebuild();
        host->flush();
        QPainter p(&target);
        host->render(p);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_FullFrameScrolling)->Arg(500)->Unit(benchmark::kMillisecond);

// Rebuild and layout only.
void BM_RebuildAndLayout(benchmark::State& state)
{
    auto host = makeHost(int(state.range(0)));
    for (auto _ : state) {
        host->setNeedsRebuild();
        host->flush();
    }
}
BENCHMARK(BM_RebuildAndLayout)->Arg(500)->Unit(benchmark::kMillisecond);

// Painting an unchanged tree (a repaint after an expose).
void BM_PaintOnly(benchmark::State& state)
{
    auto host = makeHost(int(state.range(0)));
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&target);
        host->render(p);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_PaintOnly)->Arg(500)->Unit(benchmark::kMillisecond);

// The same page at twice the scale, as on a high-density display.
void BM_FullFrameAt2x(benchmark::State& state)
{
    auto host = makeHost(int(state.range(0)));
    QImage target(int(kWindow.width * 2), int(kWindow.height * 2), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        host->setNeedsRebuild();
        host->flush();
        QPainter p(&target);
        p.scale(2, 2);
        host->render(p);
        p.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_FullFrameAt2x)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Symbols resolve from the build's bundle, as in the application.
    platform::Bundle::setMainForTesting(std::string(TIDEWELL_BUNDLE_DIR) + "/bin/ui_frame_bench");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
