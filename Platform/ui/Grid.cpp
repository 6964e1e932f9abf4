#include "ui/Grid.h"

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

namespace {

class GridNode final : public Node {
public:
    GridNode(std::vector<GridItem> items, ViewList content, HorizontalAlignment alignment, double rowSpacing)
        : items_(std::move(items)), content_(std::move(content)), alignment_(alignment), rowSpacing_(rowSpacing) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        std::vector<std::pair<std::string, View>> flat;
        for (size_t i = 0; i < content_.size(); ++i) content_[i].node()->flatten(content_[i], flat, std::to_string(i));
        for (auto& [key, view] : flat) ctx.addChild(self, view, key);
    }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        const auto cols = gridColumns(items_, finite(p.width));
        return {gridWidth(cols, p.width), rowsHeight(self, cols, ctx, nullptr)};
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        const auto cols = gridColumns(items_, frame.width);
        // Columns that don't fill the width sit in the middle, as the cells do in theirs.
        const double slack = std::max(0.0, frame.width - span(cols));
        std::vector<double> rowHeights;
        rowsHeight(self, cols, ctx, &rowHeights);
        double y = frame.y;
        const size_t n = std::max<size_t>(1, cols.size());
        for (size_t r = 0; r < rowHeights.size(); ++r) {
            for (size_t c = 0; c < n; ++c) {
                const size_t i = r * n + c;
                if (i >= self.children.size() || c >= cols.size()) break;
                Element& cell = *self.children[i];
                const Size s = cell.sizeThatFits({cols[c].width, std::nullopt}, ctx);
                const double x = frame.x + slack / 2 + cols[c].x + alignedOffset(alignment_, cols[c].width, s.width);
                cell.place({x, y + (rowHeights[r] - s.height) / 2, s.width, s.height}, ctx);
            }
            y += rowHeights[r] + rowSpacing_;
        }
    }

private:
    static std::optional<double> finite(std::optional<double> w)
    {
        return w && std::isfinite(*w) ? w : std::nullopt;
    }
    static double span(const std::vector<GridColumn>& cols) { return cols.empty() ? 0 : cols.back().x + cols.back().width; }
    double gridWidth(const std::vector<GridColumn>& cols, std::optional<double> offered) const
    {
        bool allFixed = true;
        for (const GridItem& i : items_)
            if (i.kind != GridItem::Kind::fixed) allFixed = false;
        if (allFixed || !finite(offered)) return span(cols);
        return std::max(*offered, span(cols));
    }
    double rowsHeight(Element& self, const std::vector<GridColumn>& cols, LayoutContext& ctx, std::vector<double>* heights) const
    {
        const size_t n = std::max<size_t>(1, cols.size());
        double total = 0;
        size_t rows = 0;
        for (size_t start = 0; start < self.children.size(); start += n, ++rows) {
            double h = 0;
            for (size_t c = 0; c < n && start + c < self.children.size(); ++c) {
                const double w = c < cols.size() ? cols[c].width : 0;
                h = std::max(h, self.children[start + c]->sizeThatFits({w, std::nullopt}, ctx).height);
            }
            if (heights) heights->push_back(h);
            total += h;
        }
        if (rows > 1) total += rowSpacing_ * double(rows - 1);
        return total;
    }

    std::vector<GridItem> items_;
    ViewList content_;
    HorizontalAlignment alignment_;
    double rowSpacing_;
};

}  // namespace

View LazyVGrid(std::vector<GridItem> columns, ViewList content, HorizontalAlignment alignment, std::optional<double> rowSpacing)
{
    return View(std::make_shared<GridNode>(std::move(columns), std::move(content), alignment, rowSpacing.value_or(defaultSpacing)));
}

}  // namespace platform::ui
