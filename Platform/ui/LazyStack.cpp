#include "ui/LazyStack.h"

#include "ui/ScrollView.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace platform::ui {

namespace {

// One child of the container: a sequence taken item by item, or one row.
struct Entry {
    const SequenceNode* sequence = nullptr;
    View keep;  // holds the sequence (or is the row)
    std::string key;
    size_t count = 1;
};

// What one build of the container knows: its items and the rows built so far.
struct Built {
    std::vector<Entry> entries;
    size_t count = 0;
    std::unordered_map<size_t, Element*> items;  // item index -> its element
    std::unordered_set<std::string> keys;
};

// Row heights measured so far, kept across builds: rows not yet built
// count at the average of the measured ones.
struct Memory {
    size_t columns = 0;
    std::vector<double> heights;  // per row; NaN when never measured
    double knownSum = 0;
    size_t known = 0;
    double widest = 0;  // ideal width of the widest row seen

    void reset(size_t rows, size_t cols)
    {
        columns = cols;
        heights.assign(rows, std::numeric_limits<double>::quiet_NaN());
        knownSum = 0;
        known = 0;
    }
    void resize(size_t rows)
    {
        if (rows == heights.size()) return;
        heights.resize(rows, std::numeric_limits<double>::quiet_NaN());
        knownSum = 0;
        known = 0;
        for (double h : heights)
            if (!std::isnan(h)) {
                knownSum += h;
                ++known;
            }
    }
    void set(size_t row, double h)
    {
        double& slot = heights[row];
        if (std::isnan(slot)) {
            ++known;
            knownSum += h;
        } else {
            knownSum += h - slot;
        }
        slot = h;
    }
    double estimate() const { return known ? knownSum / double(known) : 0; }
    double height(size_t row) const { return std::isnan(heights[row]) ? estimate() : heights[row]; }
    double total(double spacing) const
    {
        const size_t rows = heights.size();
        if (!rows) return 0;
        return knownSum + double(rows - known) * estimate() + spacing * double(rows - 1);
    }
};

class LazyRowsNode final : public Node {
public:
    LazyRowsNode(std::optional<std::vector<GridItem>> columns, ViewList content, HorizontalAlignment alignment, double spacing)
        : columns_(std::move(columns)), content_(std::move(content)), alignment_(alignment), spacing_(spacing) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto built = std::make_shared<Built>();
        for (size_t i = 0; i < content_.size(); ++i) {
            const View& v = content_[i];
            if (auto* seq = dynamic_cast<const SequenceNode*>(v.node().get())) {
                built->entries.push_back({seq, v, std::to_string(i), seq->count()});
                built->count += seq->count();
                continue;
            }
            std::vector<std::pair<std::string, View>> flat;
            v.node()->flatten(v, flat, std::to_string(i));
            for (auto& [k, fv] : flat) {
                built->entries.push_back({nullptr, fv, k, 1});
                ++built->count;
            }
        }
        self.scratch = built;
        // Rows scrolled away keep their state for when they come back.
        ctx.retainState(self.identity() + "/");
    }

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        const std::optional<double> width = p.width && std::isfinite(*p.width) ? p.width : std::nullopt;
        const auto cols = columnsFor(width);
        Memory& m = memory(self, ctx, cols);
        // Nothing measured yet: the first row sets the estimate.
        if (m.known == 0 && !m.heights.empty()) measureRow(self, ctx, 0, cols, width);
        double w = 0;
        if (columns_) {
            const double span = cols.empty() ? 0 : cols.back().x + cols.back().width;
            bool allFixed = true;
            for (const GridItem& i : *columns_)
                if (i.kind != GridItem::Kind::fixed) allFixed = false;
            w = allFixed || !width ? span : std::max(*width, span);
        } else {
            w = width ? *width : m.widest;
        }
        return {w, m.total(spacing_)};
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        const auto cols = columnsFor(frame.width);
        Memory& m = memory(self, ctx, cols);
        Built& b = built(self);
        const size_t n = std::max<size_t>(1, cols.size());
        double from = -infinity, to = infinity;
        if (auto visible = self.env->get<VisibleRegionKey>()) {
            from = visible->y - lazyBuildMargin;
            to = visible->maxY() + lazyBuildMargin;
        }
        std::unordered_set<size_t> shown;
        const double slack = columns_ ? std::max(0.0, frame.width - (cols.empty() ? 0 : cols.back().x + cols.back().width)) : 0;
        double y = frame.y;
        for (size_t r = 0; r < m.heights.size() && y <= to; ++r) {
            const double guess = m.height(r);
            if (y + guess < from) {
                y += guess + spacing_;
                continue;
            }
            const double h = measureRow(self, ctx, r, cols, frame.width);
            for (size_t c = 0; c < n; ++c) {
                const size_t i = r * n + c;
                if (i >= b.count) break;
                Element* cell = ensureBuilt(self, ctx, i);
                if (!cell) continue;
                shown.insert(i);
                if (columns_) {
                    if (c >= cols.size()) break;
                    const Size s = cell->sizeThatFits({cols[c].width, std::nullopt}, ctx);
                    const double x = frame.x + slack / 2 + cols[c].x + alignedOffset(alignment_, cols[c].width, s.width);
                    cell->place({x, y + (h - s.height) / 2, s.width, s.height}, ctx);
                } else {
                    const Size s = cell->sizeThatFits({frame.width, std::nullopt}, ctx);
                    cell->place({frame.x + alignedOffset(alignment_, frame.width, s.width), y, s.width, s.height}, ctx);
                }
            }
            y += h + spacing_;
        }
        // Rows built for measuring or an earlier placing that are out of view now.
        for (auto& [i, e] : b.items)
            if (!shown.count(i)) e->placed = false;
        // Reading order: by item.
        std::unordered_map<const Element*, size_t> order;
        for (auto& [i, e] : b.items) order[e] = i;
        std::stable_sort(self.children.begin(), self.children.end(), [&order](const auto& a, const auto& c) {
            return order[a.get()] < order[c.get()];
        });
    }

private:
    std::vector<GridColumn> columnsFor(std::optional<double> width) const
    {
        if (columns_) return gridColumns(*columns_, width);
        return {GridColumn{0, width.value_or(0)}};
    }

    static Built& built(Element& self) { return *std::any_cast<std::shared_ptr<Built>&>(self.scratch); }

    Memory& memory(Element& self, LayoutContext& ctx, const std::vector<GridColumn>& cols) const
    {
        static Memory none;
        BuildContext* builder = ctx.builder();
        if (!builder) return none;
        auto m = std::static_pointer_cast<Memory>(
            builder->stateSlot(self.identity() + "#lazy", [] { return std::static_pointer_cast<void>(std::make_shared<Memory>()); }));
        const size_t n = std::max<size_t>(1, cols.size());
        const size_t rows = (built(self).count + n - 1) / n;
        if (m->columns != n) m->reset(rows, n);
        else m->resize(rows);
        return *m;
    }

    // Builds (once per build) the element of item `i`.
    Element* ensureBuilt(Element& self, LayoutContext& ctx, size_t i) const
    {
        Built& b = built(self);
        if (auto it = b.items.find(i); it != b.items.end()) return it->second;
        BuildContext* builder = ctx.builder();
        if (!builder) return nullptr;
        size_t k = i;
        for (const Entry& e : b.entries) {
            if (k >= e.count) {
                k -= e.count;
                continue;
            }
            std::string key = e.sequence ? e.key + "#" + e.sequence->id(k) : e.key;
            // Repeated ids among built rows get an occurrence number.
            for (int n = 1; b.keys.count(key); ++n) key = (e.sequence ? e.key + "#" + e.sequence->id(k) : e.key) + "~" + std::to_string(n);
            b.keys.insert(key);
            Element& child = builder->addChild(self, e.sequence ? e.sequence->view(k) : e.keep, key);
            b.items[i] = &child;
            return &child;
        }
        return nullptr;
    }

    // Builds and measures row `r`; remembers and returns its height.
    double measureRow(Element& self, LayoutContext& ctx, size_t r, const std::vector<GridColumn>& cols, std::optional<double> width) const
    {
        Memory& m = memory(self, ctx, cols);
        Built& b = built(self);
        const size_t n = std::max<size_t>(1, cols.size());
        double h = 0;
        for (size_t c = 0; c < n && r * n + c < b.count; ++c) {
            Element* cell = ensureBuilt(self, ctx, r * n + c);
            if (!cell) continue;
            const std::optional<double> w = columns_ ? std::optional<double>(c < cols.size() ? cols[c].width : 0) : width;
            const Size s = cell->sizeThatFits({w, std::nullopt}, ctx);
            h = std::max(h, s.height);
            if (!columns_ && !width) m.widest = std::max(m.widest, s.width);
        }
        if (r < m.heights.size()) m.set(r, h);
        return h;
    }

    std::optional<std::vector<GridItem>> columns_;
    ViewList content_;
    HorizontalAlignment alignment_;
    double spacing_;
};

}  // namespace

namespace detail {
View lazyRows(std::optional<std::vector<GridItem>> columns, ViewList content, HorizontalAlignment alignment, double spacing)
{
    return View(detail::makeNode<LazyRowsNode>(std::move(columns), std::move(content), alignment, spacing));
}
}  // namespace detail

View LazyVStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList content)
{
    return detail::lazyRows(std::nullopt, std::move(content), alignment, spacing.value_or(defaultSpacing));
}

View LazyVStack(ViewList content) { return LazyVStack(HorizontalAlignment::center, std::nullopt, std::move(content)); }

}  // namespace platform::ui
