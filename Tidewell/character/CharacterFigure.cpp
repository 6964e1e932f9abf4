#include "character/CharacterFigure.h"

#include <algorithm>

#include "ui/Shape.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

struct Anchors {
    double headTop, headHalf, eyeY, eyeDX, neckY, neckHalf;
};

Anchors anchorsOf(CharacterBody body) {
    switch (body) {
    case CharacterBody::robot: return {-95, 25, -77, 10, -56, 30};
    case CharacterBody::blob: return {-90, 34, -58, 13, -28, 40};
    case CharacterBody::cat: return {-100, 26, -78, 9, -52, 27};
    }
    return {-95, 25, -77, 10, -56, 30};
}

const ui::Color& ink() { static const ui::Color c = ui::Color::hex(0x2C2C2A); return c; }
const ui::Color& capeRed() { static const ui::Color c = ui::Color::hex(0xA32D2D); return c; }
const ui::Color& scarfRed() { static const ui::Color c = ui::Color::hex(0xE24B4A); return c; }
const ui::Color& gearDark() { static const ui::Color c = ui::Color::hex(0x3A413F); return c; }
const ui::Color& gearLight() { static const ui::Color c = ui::Color::hex(0xD3E0DC); return c; }
const ui::Color& gold() { static const ui::Color c = ui::Color::hex(0xEF9F27); return c; }
const ui::Color& goldEdge() { static const ui::Color c = ui::Color::hex(0x854F0B); return c; }

ui::StrokeStyle roundCapped(double width) { return {width, ui::LineCap::round, ui::LineJoin::miter}; }
ui::StrokeStyle outline(double width = 2) { return {width, ui::LineCap::butt, ui::LineJoin::round}; }

ui::Path rounded(double x, double y, double w, double h, double r) { return ui::Path::roundedRect({x, y, w, h}, r, true); }
ui::Path ellipse(double x, double y, double w, double h) { return ui::Path::ellipse({x, y, w, h}); }

ui::Path polygon(std::initializer_list<ui::Point> points) {
    ui::Path p;
    bool first = true;
    for (ui::Point q : points) {
        if (first) p.move(q); else p.addLine(q);
        first = false;
    }
    p.closeSubpath();
    return p;
}

void filledOutlined(ui::GraphicsContext& g, const ui::Path& p, const ui::Color& fill, const ui::Color& edge) {
    g.fill(p, fill);
    g.stroke(p, edge, outline());
}

void drawBody(ui::GraphicsContext& g, CharacterBody body, const ui::Color& color) {
    switch (body) {
    case CharacterBody::robot: {
        ui::Path stem;
        stem.move({0, -95});
        stem.addLine({0, -108});
        g.stroke(stem, color, roundCapped(3));
        g.fill(ellipse(-4, -115, 8, 8), color);
        g.fill(rounded(-30, -55, 60, 55, 8), color);
        g.fill(rounded(-25, -95, 50, 38, 8), color);
        break;
    }
    case CharacterBody::blob: {
        g.fill(ellipse(-42, -90, 84, 90), color);
        ui::Path smile;
        smile.move({-10, -40});
        smile.addQuadCurve({10, -40}, {0, -32});
        g.stroke(smile, ink(), roundCapped(2.5));
        break;
    }
    case CharacterBody::cat: {
        g.fill(ellipse(-30, -56, 60, 56), color);
        g.fill(polygon({{-23, -86}, {-17, -110}, {-4, -99}}), color);
        g.fill(polygon({{23, -86}, {17, -110}, {4, -99}}), color);
        g.fill(ellipse(-26, -101, 52, 52), color);
        ui::Path mouth;
        mouth.move({-4, -66});
        mouth.addLine({0, -63});
        mouth.addLine({4, -66});
        g.stroke(mouth, ink(), roundCapped(2));
        break;
    }
    }
}

void drawEyes(ui::GraphicsContext& g, const Anchors& a) {
    for (double x : {-a.eyeDX, a.eyeDX}) {
        g.fill(ellipse(x - 5, a.eyeY - 5, 10, 10), ui::Color::white());
        g.fill(ellipse(x - 2.5, a.eyeY - 2.5, 5, 5), ink());
    }
}

void drawAccessory(ui::GraphicsContext& g, CharacterAccessory accessory, const Anchors& a) {
    switch (accessory) {
    case CharacterAccessory::none:
    case CharacterAccessory::cape: return;
    case CharacterAccessory::cap: {
        ui::Path dome;
        dome.move({-22, a.headTop + 4});
        dome.addQuadCurve({22, a.headTop + 4}, {0, a.headTop - 26});
        dome.closeSubpath();
        filledOutlined(g, dome, gearDark(), gearLight());
        filledOutlined(g, rounded(0, a.headTop, 34, 6, 3), gearDark(), gearLight());
        return;
    }
    case CharacterAccessory::headphones: {
        ui::Path band;
        band.move({-4 - a.headHalf, a.headTop + 22});
        band.addQuadCurve({a.headHalf + 4, a.headTop + 22}, {0, a.headTop - 30});
        g.stroke(band, gearLight(), roundCapped(8));
        g.stroke(band, gearDark(), roundCapped(4));
        for (double x : {-10 - a.headHalf, a.headHalf})
            filledOutlined(g, rounded(x, a.headTop + 14, 10, 18, 4), gearDark(), gearLight());
        return;
    }
    case CharacterAccessory::scarf:
        g.fill(rounded(-a.neckHalf, a.neckY - 4, 2 * a.neckHalf, 9, 4), scarfRed());
        g.fill(rounded(a.neckHalf - 14, a.neckY + 2, 8, 18, 3), scarfRed());
        return;
    case CharacterAccessory::shades: {
        for (double x : {-8 - a.eyeDX, a.eyeDX - 8}) g.fill(rounded(x, a.eyeY - 6, 16, 12, 3), ink());
        ui::Path bridge;
        bridge.move({8 - a.eyeDX, a.eyeY});
        bridge.addLine({a.eyeDX - 8, a.eyeY});
        g.stroke(bridge, ink(), roundCapped(2));
        return;
    }
    case CharacterAccessory::crown: {
        const double t = a.headTop;
        const ui::Path crown = polygon({{-18, t + 2}, {-18, t - 16}, {-9, t - 6}, {0, t - 20}, {9, t - 6}, {18, t - 16}, {18, t + 2}});
        g.fill(crown, gold());
        g.stroke(crown, goldEdge(), 1);
        return;
    }
    }
}

}  // namespace

FigureFit characterFigureFit(ui::Size size, double sizeFactor) {
    const double s = std::min(size.height / 130, size.width / 110);
    return {{size.width * 0.5, size.height - 5 * s}, s * sizeFactor};
}

void drawCharacterFigure(ui::GraphicsContext& context, ui::Size size, CharacterBody shape, const ui::Color& color,
                         CharacterAccessory accessory, double sizeFactor) {
    if (size.width <= 0 || size.height <= 0) return;
    ui::GraphicsContext g = context;
    const FigureFit fit = characterFigureFit(size, sizeFactor);
    g.translateBy(fit.feet.x, fit.feet.y);
    g.scaleBy(fit.scale, fit.scale);
    const Anchors a = anchorsOf(shape);
    if (accessory == CharacterAccessory::cape)
        g.fill(polygon({{6 - a.neckHalf, a.neckY}, {-14 - a.neckHalf, -1}, {14 + a.neckHalf, -1}, {a.neckHalf - 6, a.neckY}}),
               capeRed());
    drawBody(g, shape, color);
    drawEyes(g, a);
    drawAccessory(g, accessory, a);
}

ui::View CharacterFigure::body() const {
    const CharacterBody s = shape;
    const ui::Color c = color;
    const CharacterAccessory acc = accessory;
    const double f = sizeFactor;
    return ui::Canvas([s, c, acc, f](ui::GraphicsContext& g, ui::Size size) { drawCharacterFigure(g, size, s, c, acc, f); })
        .accessibilityHidden(true);
}

ui::Color paletteColor(RGB rgb) { return ui::Color::rgb255(rgb.r, rgb.g, rgb.b); }

ui::Color characterUIColor(const CharacterProfile& profile) { return paletteColor(characterColor(profile)); }

}  // namespace tidewell
