#include "SamplePages.h"

#include "ui/ScrollView.h"
#include "ui/UI.h"

#include <cmath>
#include <string>
#include <vector>

using namespace platform::ui;

namespace samples {

namespace {

const Color accent = Color::rgb255(10, 132, 255);
const Color reclaim = Color::rgb255(48, 209, 88);
const Color caution = Color::rgb255(255, 159, 10);
const Color windowBackground = Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125));
const Color raised = Color::dynamic(Color::sRGB(1, 1, 1), Color::sRGB(0.145, 0.185, 0.2));

View card(const View& content, bool elevated = false, bool fillsHeight = false)
{
    return EnvironmentReader([=](const EnvironmentValues& env) {
        const bool dark = env.colorScheme == ColorScheme::dark;
        FrameSpec fill;
        fill.maxWidth = infinity;
        fill.maxHeight = infinity;
        fill.alignment = Alignment::topLeading;
        const View padded = fillsHeight ? content.padding(16).frame(fill) : content.padding(16);
        return padded
            .background(RoundedRectangle(18).fill(raised))
            .overlay(RoundedRectangle(18).strokeBorder(Color::white().opacity(dark ? 0.10 : 0.72), 1))
            .shadow(Color::black().opacity(dark ? (elevated ? 0.28 : 0.16) : (elevated ? 0.07 : 0.04)), elevated ? 18 : 8, 0,
                    elevated ? 8 : 3);
    });
}

View growthRing(double growth)
{
    StrokeStyle ring;
    ring.lineWidth = 9;
    ring.lineCap = LineCap::round;
    return ZStack({
        Circle().stroke(Color::primary().opacity(0.08 / 0.85), 9),
        Circle()
            .trim(0, std::max(growth, 0.06))
            .stroke(AngularGradient{Gradient{reclaim, Color::rgb255(139, 195, 74), accent}, UnitPoint::center, Angle::degrees(0)}, ring)
            .rotationEffect(Angle::degrees(-90)),
        View(Image::systemName("leaf.fill")).font(Font::title3()).foregroundStyle(reclaim),
    }).frame(72, 72);
}

View chip(const std::string& symbol, const std::string& label, Color tint)
{
    return HStack(VerticalAlignment::center, 6, {
        View(Image::systemName(symbol)).font(Font::system(11, FontWeight::semibold)).foregroundStyle(tint),
        Text(label).font(Font::caption().weight(FontWeight::semibold)),
    })
        .padding(EdgeInsets{4, 8, 4, 8})
        .background(Capsule().fill(tint.opacity(0.14)))
        .overlay(Capsule().strokeBorder(tint.opacity(0.28), 1));
}

std::string bytesText(double bytes)
{
    const char* units[] = {"bytes", "KB", "MB", "GB"};
    int u = 0;
    while (bytes >= 1000 && u < 3) {
        bytes /= 1000;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, u >= 2 ? "%.1f %s" : "%.0f %s", bytes, units[u]);
    return buf;
}

View row(int i)
{
    static const std::vector<std::pair<std::string, Color>> stacks = {
        {"hexagon.fill", Color::rgb255(139, 195, 74)}, {"gearshape.fill", Color::rgb255(208, 106, 58)},
        {"leaf.fill", Color::rgb255(79, 143, 191)},    {"triangle.fill", Color::rgb255(62, 198, 243)},
        {"hare.fill", Color::rgb255(46, 196, 206)},
    };
    const auto& [symbol, tint] = stacks[size_t(i) % stacks.size()];
    const double size = std::fmod(i * 7919.0 * 1234567.0, 9.0e9) + 1.0e6;
    const double share = std::fmod(i * 0.137, 1.0);
    return HStack(VerticalAlignment::center, 10, {
        ZStack({RoundedRectangle(6).fill(tint.opacity(0.16)),
                View(Image::systemName(symbol)).font(Font::system(12, FontWeight::semibold)).foregroundStyle(tint)})
            .frame(24, 24),
        VStack(HorizontalAlignment::leading, 1, {
            Text("project-" + std::to_string(i)).font(Font::body().weight(FontWeight::semibold)).lineLimit(1),
            Text("~/code/clients/project-" + std::to_string(i) + "/node_modules").font(Font::caption()).foregroundStyle(ShapeStyle::secondary())
                .lineLimit(1).truncationMode(TruncationMode::middle),
        }),
        Spacer(),
        Capsule().fill(Color::primary().opacity(0.08)).frame(80, 5).overlay(
            Capsule().fill(reclaim).frame(std::max(80 * share, 6.0), 5), Alignment::leading),
        Text(bytesText(size)).font(Font::callout().monospacedDigit().weight(FontWeight::semibold)).foregroundStyle(reclaim)
            .frame(76, std::nullopt, Alignment::trailing),
    })
        .padding(EdgeInsets{6, 12, 6, 12})
        .id(std::to_string(i));
}

View scene()
{
    return Canvas([](GraphicsContext& ctx, Size s) {
        const double w = s.width, h = s.height, c = w / 2;
        ctx.fill(Path::rect({0, 0, w, h}),
                 Shading::linearGradient(Gradient{Color::rgb255(6, 25, 35), Color::rgb255(8, 40, 51), Color::rgb255(10, 36, 43)}, {c, 0}, {c, h}));
        Path glow;
        glow.addEllipse({c - 120, 0.36 * h - 90, 240, 180});
        ctx.fill(glow, Shading::radialGradient(Gradient{Color::rgb255(0, 217, 255).opacity(0.2), Color::rgb255(57, 245, 107).opacity(0.07), Color::clear()},
                                               {c, 0.36 * h}, 8, 120));
        Path back;
        back.move({0, 0.72 * h});
        back.addQuadCurve({w, 0.74 * h}, {0.42 * w, 0.56 * h});
        back.addLine({w, h});
        back.addLine({0, h});
        back.closeSubpath();
        ctx.fill(back, Color::rgb255(12, 48, 56).opacity(0.85));
        Path front;
        front.move({0, 0.8 * h});
        front.addQuadCurve({w, 0.78 * h}, {0.62 * w, 0.66 * h});
        front.addLine({w, h});
        front.addLine({0, h});
        front.closeSubpath();
        ctx.fill(front, Color::rgb255(14, 58, 52).opacity(0.9));
        Path trunk;
        trunk.move({c - 0.036 * w, 0.905 * h});
        trunk.addCurve({c - 0.012 * w, 0.56 * h}, {c - 0.052 * w, 0.78 * h}, {c - 0.02 * w, 0.64 * h});
        trunk.addQuadCurve({c + 0.014 * w, 0.548 * h}, {c, 0.52 * h});
        trunk.addCurve({c + 0.042 * w, 0.905 * h}, {c + 0.026 * w, 0.66 * h}, {c + 0.058 * w, 0.78 * h});
        trunk.closeSubpath();
        ctx.fill(trunk, Shading::linearGradient(Gradient{Color::rgb255(163, 106, 59), Color::rgb255(91, 56, 43)}, {c - 0.04 * w, 0}, {c + 0.04 * w, 0}));
        StrokeStyle sap;
        sap.lineWidth = 2;
        sap.lineCap = LineCap::round;
        sap.dash = {6, 10};
        Path branch;
        branch.move({c, 0.6 * h});
        branch.addQuadCurve({0.24 * w, 0.34 * h}, {0.4 * w, 0.4 * h});
        branch.move({c, 0.6 * h});
        branch.addQuadCurve({0.76 * w, 0.32 * h}, {0.62 * w, 0.38 * h});
        ctx.stroke(branch, Color::rgb255(57, 245, 107).opacity(0.8), sap);
        for (auto p : {Point{0.24 * w, 0.34 * h}, Point{0.76 * w, 0.32 * h}}) {
            Path bud;
            bud.addEllipse({p.x - 5, p.y - 5, 10, 10});
            ctx.fill(bud, Color::rgb255(255, 170, 0));
        }
    });
}

}  // namespace

View samplePage()
{
    const View header = ViewThatFits(Axes::horizontalOnly(), {
        HStack(VerticalAlignment::center, 12, {
            VStack(HorizontalAlignment::leading, 4, {
                Text("Reclaim your disk").font(Font::custom("Fraunces", 30).weight(FontWeight::bold)).lineLimit(2).minimumScaleFactor(0.7),
                Text("Dependency folders, build output and caches, measured and sorted.").font(Font::callout())
                    .foregroundStyle(ShapeStyle::secondary()).fixedSize(false, true),
            }),
            Spacer(12),
            HStack(VerticalAlignment::center, 8, {chip("arrow.clockwise", "Rescan", accent), chip("gearshape", "Settings", Color::gray())}),
        }),
        VStack(HorizontalAlignment::leading, 10, {
            Text("Reclaim your disk").font(Font::custom("Fraunces", 30).weight(FontWeight::bold)).lineLimit(2),
            HStack({Spacer(0), chip("arrow.clockwise", "Rescan", accent)}),
        }),
    });

    const View summary = card(HStack(VerticalAlignment::center, 16, {
        growthRing(0.62),
        VStack(HorizontalAlignment::leading, 6, {
            Text("12.4 GB reclaimable").font(Font::title2().weight(FontWeight::bold)).foregroundStyle(reclaim),
            Text("Across 38 projects · 4 stacks").font(Font::subheadline()).foregroundStyle(ShapeStyle::secondary()),
            HStack(VerticalAlignment::center, 6, {chip("checkmark.circle.fill", "Safe 9.1 GB", reclaim),
                                                  chip("exclamationmark.triangle.fill", "Caution 3.3 GB", caution)}),
        }),
        Spacer(0),
    }), true, true).accessibilityIdentifier("summary");

    const View sceneCard = card(VStack(HorizontalAlignment::leading, 10, {
        Text("Growing scan").font(Font::headline()),
        scene().clipShape(RoundedRectangle(12)).frame(std::nullopt, 150),
    }), false, true);

    std::vector<View> rows;
    for (int i = 0; i < 6; ++i) rows.push_back(row(i));
    FrameSpec wide;
    wide.maxWidth = infinity;
    wide.alignment = Alignment::leading;
    const View list = card(VStack(HorizontalAlignment::leading, 0, {
        Text("Largest folders").font(Font::headline()).padding(Edges(Edge::bottom), 6),
        VStack(HorizontalAlignment::leading, 0, rows),
    }).frame(wide));

    FrameSpec page;
    page.maxWidth = infinity;
    page.maxHeight = infinity;
    page.alignment = Alignment::topLeading;
    return VStack(HorizontalAlignment::leading, 16, {
        header,
        HStack(VerticalAlignment::top, 16, {summary, sceneCard}).fixedSize(false, true),
        list,
        Spacer(0),
    })
        .padding(24)
        .frame(page)
        .background(View(windowBackground));
}

View rowsPage(int count)
{
    std::vector<View> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) rows.push_back(row(i));
    FrameSpec page;
    page.maxWidth = infinity;
    page.maxHeight = infinity;
    page.alignment = Alignment::top;
    return VStack(HorizontalAlignment::leading, 0, rows).frame(page).clipped().background(View(windowBackground));
}

View scrollingRowsPage(int count)
{
    std::vector<View> rows;
    rows.reserve(size_t(count));
    for (int i = 0; i < count; ++i) rows.push_back(row(i));
    return ScrollView(VStack(HorizontalAlignment::leading, 0, rows)).background(View(windowBackground));
}

}  // namespace samples
