#include "dashboard/StorageNodeLayout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <numeric>

namespace tidewell {

using platform::ui::Point;
using platform::ui::Rect;
using platform::ui::Size;

namespace {

std::uint64_t weightOf(const TypeSummaryDTO& s)
{
    const std::uint64_t w = std::max(s.total_bytes, s.reclaimable_bytes);
    return w == 0 ? 1 : w;
}

// The rim-to-rim gap neighbouring bubbles keep.
constexpr double bubbleGap = 18;

// The legend's corner, kept free of bubbles.
Rect reservedBox(Size size) { return {size.width - 172, 8, 164, 152}; }

bool overlaps(const Rect& a, const Rect& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

void keepInside(std::vector<Point>& positions, const std::vector<double>& diameters, Rect playfield, Size size,
                bool nudgeOffTrunk)
{
    const double minX = playfield.x, maxX = playfield.x + playfield.width;
    const double minY = playfield.y, maxY = playfield.y + playfield.height;
    const Rect box = reservedBox(size);
    for (std::size_t k = 0; k < positions.size(); ++k) {
        Point p = positions[k];
        const double r = diameters[k] / 2, pad = r + 4;
        if (nudgeOffTrunk && std::abs(p.x - size.width / 2) < 34 && p.y > 0.46 * size.height)
            p.x += k % 2 == 0 ? -10 : 10;
        const bool xRoom = maxX - pad >= minX + pad;
        const auto clampX = [&](double x) { return xRoom ? std::clamp(x, minX + pad, maxX - pad) : playfield.midX(); };
        p.x = clampX(p.x);
        p.y = maxY - pad >= minY + pad ? std::clamp(p.y, minY + pad, maxY - pad) : playfield.midY();
        if (xRoom && overlaps({p.x - r, p.y - r, diameters[k], diameters[k]}, box))
            p.x = clampX(std::min(p.x, box.x - pad));
        positions[k] = p;
    }
}

constexpr int maxShrinks = 12;
constexpr double shrinkStep = 0.93;
// How far down a crowded crown may reach (a share of the height, from the
// upper 62 %): to the tops of the hills, clear of the ground the character walks.
constexpr double deepestCrown = 0.72;
constexpr double crownStep = 0.025;
constexpr int maxSettles = 8;

Rect crownPlayfield(Size size, double depth)
{
    return {24, 20, std::max(size.width - 48, 40.0), std::max(depth * size.height - 20, 40.0)};
}

std::vector<Point> slotStarts(std::size_t n, Rect playfield)
{
    std::vector<Point> starts(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point u = storageSlot(int(i));
        starts[i] = {playfield.x + u.x * playfield.width, playfield.y + u.y * playfield.height};
    }
    return starts;
}

bool anyOverlap(const std::vector<Point>& positions, const std::vector<double>& diameters)
{
    for (std::size_t i = 0; i + 1 < positions.size(); ++i)
        for (std::size_t j = i + 1; j < positions.size(); ++j)
            if (std::hypot(positions[j].x - positions[i].x, positions[j].y - positions[i].y) <=
                (diameters[i] + diameters[j]) / 2)
                return true;
    return false;
}

}  // namespace

Point storageSlot(int index)
{
    static constexpr std::array<Point, 12> table{{{0.5, 0.1},
                                                  {0.2, 0.24},
                                                  {0.8, 0.22},
                                                  {0.08, 0.48},
                                                  {0.92, 0.46},
                                                  {0.34, 0.36},
                                                  {0.66, 0.34},
                                                  {0.24, 0.64},
                                                  {0.76, 0.62},
                                                  {0.5, 0.52},
                                                  {0.12, 0.78},
                                                  {0.88, 0.76}}};
    if (index >= 0 && index < int(table.size()))
        return table[std::size_t(index)];
    // Beyond the table: a golden-angle spiral, flattened vertically.
    const int i = std::max(index, 0);
    const double angle = (i - 12) * 2.399963 + 0.6;
    const double r = 0.28 + 0.08 * (i % 4);
    return {std::clamp(0.5 + std::cos(angle) * r, 0.08, 0.92), std::clamp(0.46 + std::sin(angle) * r * 0.62, 0.12, 0.86)};
}

void relaxStorageNodes(std::vector<Point>& positions, const std::vector<double>& diameters, Rect playfield, Size size)
{
    const std::size_t n = std::min(positions.size(), diameters.size());
    if (n == 0)
        return;
    if (n == 1) {
        keepInside(positions, diameters, playfield, size, false);
        return;
    }
    // A fixed number of passes, with no early stop, keeps the layout the same
    // for the same input whatever moved.
    for (int pass = 0; pass < 16; ++pass) {
        for (std::size_t i = 0; i + 1 < n; ++i) {
            for (std::size_t j = i + 1; j < n; ++j) {
                const double dx = positions[j].x - positions[i].x, dy = positions[j].y - positions[i].y;
                const double dist = std::hypot(dx, dy);
                const double need = (diameters[i] + diameters[j]) / 2 + bubbleGap;
                if (!(dist < need))
                    continue;
                const double push = (need - std::max(dist, 0.5)) / 2;
                Point u = dist >= 0.5 ? Point{dx / dist, dy / dist} : Point{i % 2 == 0 ? -1.0 : 1.0, 0.15};
                positions[i] = {positions[i].x - push * u.x, positions[i].y - push * u.y};
                positions[j] = {positions[j].x + push * u.x, positions[j].y + push * u.y};
            }
        }
        keepInside(positions, diameters, playfield, size, true);
    }
}

std::vector<StorageNodeModel> makeStorageNodes(const std::vector<TypeSummaryDTO>& summaries,
                                               const std::vector<Point>& positions, const std::vector<double>& diameters,
                                               const std::vector<ProjectDTO>& projects,
                                               const std::set<std::string>& protectedStacks)
{
    const std::size_t n = std::min({summaries.size(), positions.size(), diameters.size()});
    std::vector<StorageNodeModel> nodes;
    nodes.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        nodes.push_back({summaries[i], storageNodeStatus(summaries[i], projects, protectedStacks), positions[i], diameters[i]});
    return nodes;
}

std::vector<StorageNodeModel> layoutStorageNodes(Size size, const std::vector<TypeSummaryDTO>& summaries,
                                                 const std::vector<ProjectDTO>& projects,
                                                 const std::set<std::string>& protectedStacks)
{
    const double W = size.width, H = size.height;
    if (!std::isfinite(W) || !std::isfinite(H) || W <= 40 || H <= 40 || summaries.empty())
        return {};

    std::vector<TypeSummaryDTO> sorted = summaries;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TypeSummaryDTO& a, const TypeSummaryDTO& b) { return weightOf(a) > weightOf(b); });
    const std::uint64_t maxWeight = weightOf(sorted.front());
    const std::size_t n = sorted.size();

    const double base = std::min(0.62 * W, H);
    const bool wide = W >= 520 && H >= 320;
    double minD, maxD;
    if (wide) {
        minD = std::clamp(base * (n > 10 ? 0.09 : 0.12), 70.0, 92.0);
        maxD = std::min(base * (n >= 9 ? 0.16 : 0.21), 132.0);
    } else {
        minD = std::clamp(base * (n > 10 ? 0.08 : 0.11), 48.0, 68.0);
        maxD = std::min(base * (n >= 9 ? 0.14 : 0.18), 96.0);
    }

    double depth = 0.62;
    Rect playfield = crownPlayfield(size, depth);
    if (!(playfield.width > minD) || !(playfield.height > minD))
        return {};

    // No bubble is smaller than its label needs, on any canvas.
    std::vector<double> diameters(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double ratio = double(weightOf(sorted[i])) / double(maxWeight);
        diameters[i] = std::max(minD + std::sqrt(std::max(ratio, 0.08)) * (maxD - minD), storageNodeMinimumDiameter);
    }
    // Sixteen passes cannot part many bubbles in a short crown (a 900 × 320
    // area with a dozen stacks leaves rims 10 points inside each other, over
    // icons and sizes). Then every bubble shrinks a little, down to the
    // smallest that holds its label, and after that the crown reaches a little
    // lower; each time the crown is laid out again from the slots, and at the
    // deepest it is given more passes. A layout that already parts them is
    // kept as it is.
    std::vector<Point> starts = slotStarts(n, playfield);
    std::vector<Point> positions = starts;
    relaxStorageNodes(positions, diameters, playfield, size);
    for (int shrinks = 0, settles = 0; anyOverlap(positions, diameters);) {
        const bool canShrink = shrinks < maxShrinks && std::any_of(diameters.begin(), diameters.end(), [](double d) {
                                   return d > storageNodeMinimumDiameter;
                               });
        if (canShrink) {
            ++shrinks;
            for (double& d : diameters)
                d = std::max(d * shrinkStep, storageNodeMinimumDiameter);
        } else if (depth < deepestCrown - 1e-9) {
            depth = std::min(depth + crownStep, deepestCrown);
            playfield = crownPlayfield(size, depth);
            starts = slotStarts(n, playfield);
        } else if (settles < maxSettles) {
            // Last, the deepest crown keeps relaxing from where it got to.
            ++settles;
            relaxStorageNodes(positions, diameters, playfield, size);
            continue;
        } else {
            break;
        }
        positions = starts;
        relaxStorageNodes(positions, diameters, playfield, size);
    }
    return makeStorageNodes(sorted, positions, diameters, projects, protectedStacks);
}

}  // namespace tidewell
