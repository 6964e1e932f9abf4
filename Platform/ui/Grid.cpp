#include "ui/Grid.h"

#include "ui/LazyStack.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

GridItem GridItem::fixed(double width, double spacing) { return {Kind::fixed, width, width, spacing}; }
GridItem GridItem::flexible(double minimum, double maximum, double spacing) { return {Kind::flexible, minimum, maximum, spacing}; }
GridItem GridItem::adaptive(double minimum, double maximum, double spacing) { return {Kind::adaptive, minimum, maximum, spacing}; }

std::vector<GridColumn> gridColumns(const std::vector<GridItem>& items, std::optional<double> width)
{
    auto sane = [](double v) { return std::isfinite(v) ? std::max(0.0, v) : 0.0; };
    // Room taken by fixed columns and by every spacing between columns.
    double fixedWidth = 0, flexibleMinimum = 0;
    int flexibleCount = 0;
    for (const GridItem& i : items) {
        if (i.kind == GridItem::Kind::fixed) fixedWidth += sane(i.minimum);
        else if (i.kind == GridItem::Kind::flexible) {
            ++flexibleCount;
            flexibleMinimum += sane(i.minimum);
        }
    }
    struct Expanded {
        GridItem item;
        double width;
    };
    std::vector<Expanded> cols;
    const double total = width ? sane(*width) : 0;
    for (size_t k = 0; k < items.size(); ++k) {
        const GridItem& i = items[k];
        if (i.kind != GridItem::Kind::adaptive) {
            cols.push_back({i, sane(i.minimum)});
            continue;
        }
        // As many columns of at least the minimum as fit in what is left.
        const double minimum = std::max(1.0, sane(i.minimum));
        const double spacing = sane(i.spacing);
        double room = width ? total - fixedWidth - flexibleMinimum : minimum;
        for (const GridItem& o : items)
            if (&o != &i) room -= sane(o.spacing);
        const int n = width ? std::max(1, int(std::floor((room + spacing) / (minimum + spacing)))) : 1;
        double each = width ? (room - (n - 1) * spacing) / n : minimum;
        each = std::clamp(each, minimum, std::max(minimum, i.maximum));
        for (int c = 0; c < n; ++c) cols.push_back({GridItem{GridItem::Kind::fixed, each, each, spacing}, each});
    }
    if (width && flexibleCount > 0) {
        double used = 0;
        for (size_t c = 0; c < cols.size(); ++c) {
            if (cols[c].item.kind != GridItem::Kind::flexible) used += cols[c].width;
            if (c + 1 < cols.size()) used += sane(cols[c].item.spacing);
        }
        const double share = std::max(0.0, total - used) / flexibleCount;
        for (auto& c : cols)
            if (c.item.kind == GridItem::Kind::flexible) c.width = std::clamp(share, sane(c.item.minimum), std::max(sane(c.item.minimum), c.item.maximum));
    }
    std::vector<GridColumn> out;
    double x = 0;
    for (size_t c = 0; c < cols.size(); ++c) {
        out.push_back({x, cols[c].width});
        x += cols[c].width + sane(cols[c].item.spacing);
    }
    return out;
}

View LazyVGrid(std::vector<GridItem> columns, ViewList content, HorizontalAlignment alignment, std::optional<double> rowSpacing)
{
    return detail::lazyRows(std::move(columns), std::move(content), alignment, rowSpacing.value_or(defaultSpacing));
}

}  // namespace platform::ui
