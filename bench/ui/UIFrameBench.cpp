// Frame cost of the view layer: a page of 500 rows of text, symbols and
// shapes at 1280×800, rebuilt from scratch, laid out and painted each frame.

#include "SamplePages.h"

#include "foundation/Bundle.h"
#include "ui/Controls.h"
#include "ui/ViewHost.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <fstream>

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

// --- A lazy list of 10,000 project cards, scrolled -------------------------------

// Resident memory of the process, megabytes.
double residentMegabytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

// A card shaped like the project list's: a tinted icon tile, name and path,
// three stack badges, a size and a share bar, on a bordered rounded panel,
// with hover state of its own.
View projectCard(size_t i)
{
    static const Color tints[] = {Color::rgb255(139, 195, 74), Color::rgb255(208, 106, 58), Color::rgb255(79, 143, 191),
                                  Color::rgb255(62, 198, 243)};
    static const char* symbols[] = {"hexagon.fill", "gearshape.fill", "leaf.fill", "triangle.fill"};
    const Color tint = tints[i % 4];
    const std::string name = "project-" + std::to_string(i);
    ViewList badges;
    for (size_t b = 0; b < 3; ++b)
        badges.push_back(Text(b == 0 ? "node" : b == 1 ? "cargo" : "gradle").font(Font::caption2().weight(FontWeight::semibold))
                             .padding(EdgeInsets{2, 6, 2, 6}).background(Capsule().fill(tints[(i + b) % 4].opacity(0.16))));
    return WithState<bool>(false, [=](Binding<bool> hovered) {
        return VStack(HorizontalAlignment::leading, 8, {
                   HStack(VerticalAlignment::center, 10, {
                       ZStack({RoundedRectangle(8).fill(tint.opacity(0.16)),
                               View(Image::systemName(symbols[i % 4])).font(Font::system(14, FontWeight::semibold)).foregroundStyle(tint)})
                           .frame(32, 32),
                       VStack(HorizontalAlignment::leading, 2, {
                           Text(name).font(Font::headline()).lineLimit(1),
                           Text("~/code/clients/" + name + "/node_modules").font(Font::caption()).foregroundStyle(ShapeStyle::secondary())
                               .lineLimit(1).truncationMode(TruncationMode::middle),
                       }),
                       Spacer(),
                       Text(std::to_string(1 + i % 97) + "." + std::to_string(i % 10) + " GB").font(Font::callout().monospacedDigit().bold()),
                   }),
                   HStack(VerticalAlignment::center, 6, {HStack(VerticalAlignment::center, 4, badges), Spacer(),
                                                         Capsule().fill(Color::primary().opacity(0.08)).frame(90, 5)
                                                             .overlay(Capsule().fill(tint).frame(10 + double(i % 80), 5), Alignment::leading)}),
               })
            .padding(14)
            .background(RoundedRectangle(12).fill(Color::dynamic(Color::white(), Color::sRGB(0.145, 0.185, 0.2))))
            .overlay(UnevenRoundedRectangle({12, 12, 0, 0}).fill(tint).frame(4, std::nullopt).frame(FrameSpec{.maxWidth = infinity, .alignment = Alignment::leading}))
            .overlay(RoundedRectangle(12).strokeBorder(Color::primary().opacity(hovered.get() ? 0.2 : 0.08), 1))
            .onHover([hovered](bool h) { hovered.set(h); });
    });
}

View cardList(size_t count, bool lazy)
{
    View rows = ForEachIndex(count, [](size_t i) { return std::to_string(i); }, [](size_t i) { return projectCard(i); });
    View list = lazy ? LazyVStack(HorizontalAlignment::leading, 10, {rows}) : VStack(HorizontalAlignment::leading, 10, {rows});
    return ScrollView(list.padding(20)).background(View(Color::sRGB(0.91, 0.949, 0.98)));
}

// One frame of scrolling: a wheel step, then rebuild, layout and paint.
void scrollFrames(benchmark::State& state, bool lazy)
{
    const size_t count = size_t(state.range(0));
    const double before = residentMegabytes();
    ViewHost host;
    host.setScheduler(nullptr);
    host.setSize(kWindow);
    host.setRoot([count, lazy] { return cardList(count, lazy); });
    host.flush();
    QImage target(int(kWindow.width), int(kWindow.height), QImage::Format_ARGB32_Premultiplied);
    auto frame = [&](double dy) {
        host.scroll({640, 400}, {0, dy});
        host.flush();
        QPainter p(&target);
        host.render(p);
        p.end();
    };
    if (lazy) {
        // Every row visited once, so all their state is kept: the worst case for memory.
        for (int i = 0; i < 1500; ++i) frame(800);
        frame(-1e9);
    }
    // Google Benchmark runs this more than once, and memory freed by one run
    // stays resident for the next: the list's own memory is what the first
    // run added.
    static double listMegabytes[2] = {-1, -1};
    if (listMegabytes[lazy] < 0) listMegabytes[lazy] = residentMegabytes() - before;
    state.counters["rss_MB"] = listMegabytes[lazy];
    state.counters["rss_total_MB"] = residentMegabytes();
    double dy = 37;
    int steps = 0;
    for (auto _ : state) {
        if (++steps % 400 == 0) dy = -dy;  // back and forth through the list
        frame(dy);
        benchmark::DoNotOptimize(target.constBits());
    }
}

void BM_LazyListScrolling(benchmark::State& state) { scrollFrames(state, true); }
BENCHMARK(BM_LazyListScrolling)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same cards in a plain stack: every row built, measured and placed each frame.
void BM_EagerListScrolling(benchmark::State& state) { scrollFrames(state, false); }
BENCHMARK(BM_EagerListScrolling)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5);

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
