#include "ui/View.h"

#include "ui/Modifiers.h"
#include "ui/Painting.h"

#include <QPainter>
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <map>

namespace platform::ui {

namespace {

Rect unite(const Rect& a, const Rect& b)
{
    const double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    const double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

double sane(double v) { return std::isfinite(v) ? std::max(0.0, v) : (v > 0 ? v : 0.0); }


class EmptyNode final : public Node {
public:
    bool expands() const override { return true; }
    void flatten(const View&, std::vector<std::pair<std::string, View>>&, const std::string&) const override {}
    Size sizeThatFits(Element&, ProposedSize, LayoutContext&) const override { return {0, 0}; }
};

// Containers that stand in for their children inside a stack add the same
// flattened children, keyed as the stack would key them, when built alone.
void addFlattened(const Node& node, Element& self, BuildContext& ctx, const std::string& prefix)
{
    std::vector<std::pair<std::string, View>> flat;
    node.flatten(View(), flat, prefix);
    for (auto& [k, v] : flat) ctx.addChild(self, v, k);
}

class GroupNode final : public Node {
public:
    explicit GroupNode(ViewList children) : children_(std::move(children)) {}
    bool expands() const override { return true; }
    void flatten(const View&, std::vector<std::pair<std::string, View>>& out, const std::string& key) const override
    {
        for (size_t i = 0; i < children_.size(); ++i)
            children_[i].node()->flatten(children_[i], out, key + "." + std::to_string(i));
    }
    void build(Element& self, BuildContext& ctx) const override
    {
        // Outside a container a group lays out its children on top of each other.
        addFlattened(*this, self, ctx, "g");
    }
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override
    {
        return largestChildSize(self, p, ctx);
    }

private:
    ViewList children_;
};

class IfNode final : public Node {
public:
    IfNode(bool condition, View branch) : condition_(condition), branch_(std::move(branch)) {}
    bool expands() const override { return true; }
    void flatten(const View&, std::vector<std::pair<std::string, View>>& out, const std::string& key) const override
    {
        branch_.node()->flatten(branch_, out, key + (condition_ ? "t" : "f"));
    }
    void build(Element& self, BuildContext& ctx) const override
    {
        ctx.addChild(self, branch_, condition_ ? "t" : "f");
    }

private:
    bool condition_;
    View branch_;
};

class IdentifiedSequence final : public SequenceNode {
public:
    explicit IdentifiedSequence(std::vector<std::pair<std::string, View>> items) : items_(std::move(items)) {}
    size_t count() const override { return items_.size(); }
    std::string id(size_t i) const override { return items_[i].first; }
    View view(size_t i) const override { return items_[i].second; }

private:
    std::vector<std::pair<std::string, View>> items_;
};

class IndexSequence final : public SequenceNode {
public:
    IndexSequence(size_t count, std::function<std::string(size_t)> id, std::function<View(size_t)> content)
        : count_(count), id_(std::move(id)), content_(std::move(content)) {}
    size_t count() const override { return count_; }
    std::string id(size_t i) const override { return id_ ? id_(i) : std::to_string(i); }
    View view(size_t i) const override { return content_ ? content_(i) : View(); }

private:
    size_t count_;
    std::function<std::string(size_t)> id_;
    std::function<View(size_t)> content_;
};

class EnvironmentReaderNode final : public Node {
public:
    explicit EnvironmentReaderNode(std::function<View(const EnvironmentValues&)> f) : f_(std::move(f)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        ctx.addChild(self, f_ ? f_(*self.env) : View(), ".r");
    }

private:
    std::function<View(const EnvironmentValues&)> f_;
};

std::shared_ptr<const Node> emptyNode()
{
    static const auto node = detail::makeNode<EmptyNode>();
    return node;
}

}  // namespace

// --- View -------------------------------------------------------------------

View::View() : node_(emptyNode()) {}

View EmptyView() { return View(); }
View Group(ViewList children) { return View(detail::makeNode<GroupNode>(std::move(children))); }

View ViewIf(bool condition, View then, View otherwise)
{
    return View(detail::makeNode<IfNode>(condition, condition ? std::move(then) : std::move(otherwise)));
}

View ForEachIdentified(std::vector<std::pair<std::string, View>> identified)
{
    return View(std::make_shared<IdentifiedSequence>(std::move(identified)));
}

View ForEachIndex(size_t count, std::function<std::string(size_t)> idOf, std::function<View(size_t)> content)
{
    return View(std::make_shared<IndexSequence>(count, std::move(idOf), std::move(content)));
}

void SequenceNode::flatten(const View&, std::vector<std::pair<std::string, View>>& out, const std::string& key) const
{
    // A repeated id would make two items share state and hover; later
    // repeats get an occurrence number.
    std::map<std::string, int> seen;
    const size_t n = count();
    for (size_t i = 0; i < n; ++i) {
        const std::string itemId = id(i);
        const int k = seen[itemId]++;
        const View v = view(i);
        v.node()->flatten(v, out, key + "#" + itemId + (k ? "~" + std::to_string(k) : std::string()));
    }
}

void SequenceNode::build(Element& self, BuildContext& ctx) const { addFlattened(*this, self, ctx, "e"); }

void addContainerChildren(Element& self, BuildContext& ctx, const ViewList& children, std::optional<Axis> axis)
{
    bool plain = true;
    for (const View& c : children)
        if (c.node()->expands()) plain = false;
    if (plain) {
        // The usual case: no vector of keyed views in between.
        self.children.reserve(children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            Element& e = ctx.addChild(self, children[i], std::to_string(i));
            if (axis) e.stackAxis = axis;
        }
        return;
    }
    std::vector<std::pair<std::string, View>> flat;
    flat.reserve(children.size());
    for (size_t i = 0; i < children.size(); ++i) children[i].node()->flatten(children[i], flat, std::to_string(i));
    self.children.reserve(flat.size());
    for (auto& [key, view] : flat) {
        Element& e = ctx.addChild(self, view, key);
        if (axis) e.stackAxis = axis;
    }
}

Size SequenceNode::sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const
{
    return largestChildSize(self, p, ctx);
}

View EnvironmentReader(std::function<View(const EnvironmentValues&)> content)
{
    return View(detail::makeNode<EnvironmentReaderNode>(std::move(content)));
}

// --- Element ----------------------------------------------------------------

std::string Element::identity() const
{
    if (!parent)
        return key;
    std::string id = parent->identity();
    if (key.empty() || key.front() != '.')
        id += '/';
    id += key;
    return id;
}

namespace {
// A proposal's dimension as a key: its bits, with "unspecified" (or NaN) as
// one NaN pattern and -0 as 0, so a lookup is two integer comparisons.
constexpr std::uint64_t kUnspecified = 0x7ff8'0000'0000'0001ull;
std::uint64_t packed(const std::optional<double>& v)
{
    if (!v || std::isnan(*v)) return kUnspecified;
    return std::bit_cast<std::uint64_t>(*v == 0 ? 0.0 : *v);
}
std::optional<double> unpacked(std::uint64_t bits)
{
    if (bits == kUnspecified) return std::nullopt;
    return std::bit_cast<double>(bits);
}
}  // namespace

Size Element::sizeThatFits(ProposedSize proposal, LayoutContext& ctx)
{
    // Wrappers that size as their content ask it directly: one cache for the chain.
    if (measuresAsContent)
        return children.empty() ? Size{0, 0} : children.front()->sizeThatFits(proposal, ctx);
    if (cachePass_ != ctx.pass()) {
        cachePass_ = ctx.pass();
        cacheCount_ = 0;
    }
    const std::uint64_t w = packed(proposal.width), h = packed(proposal.height);
    const unsigned n = std::min(cacheCount_, kCache);
    for (unsigned i = 0; i < n; ++i)
        if (cache_[i].width == w && cache_[i].height == h)
            return cache_[i].size;
    Size s = node->sizeThatFits(*this, proposal, ctx);
    s.width = sane(s.width);
    s.height = sane(s.height);
    cache_[cacheCount_ % kCache] = {w, h, s};
    ++cacheCount_;
    return s;
}

#if defined(__SANITIZE_ADDRESS__)
#define TIDEWELL_ELEMENT_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TIDEWELL_ELEMENT_POOL 0
#endif
#endif
#ifndef TIDEWELL_ELEMENT_POOL
#define TIDEWELL_ELEMENT_POOL 1
#endif

namespace {
// Blocks of one element each, handed out from chunks and kept for reuse.
// Views live on the main thread only, so the pool takes no lock.
struct ElementPool {
    struct Block { Block* next; };
    Block* free = nullptr;
    std::vector<std::unique_ptr<unsigned char[]>> chunks;
    void* take()
    {
        if (!free) {
            constexpr size_t perChunk = 1024;
            auto chunk = std::make_unique<unsigned char[]>(perChunk * sizeof(Element));
            for (size_t i = 0; i < perChunk; ++i) {
                auto* b = reinterpret_cast<Block*>(chunk.get() + i * sizeof(Element));
                b->next = free;
                free = b;
            }
            chunks.push_back(std::move(chunk));
        }
        Block* b = free;
        free = b->next;
        return b;
    }
    void give(void* p)
    {
        auto* b = static_cast<Block*>(p);
        b->next = free;
        free = b;
    }
};
// Never destroyed, so elements freed during exit still find it.
ElementPool& pool()
{
    static ElementPool* p = new ElementPool;
    return *p;
}
}  // namespace

namespace detail {

namespace {
constexpr std::size_t kGrain = 16, kLargest = 512;
struct NodePool {
    struct Block { Block* next; };
    Block* free[kLargest / kGrain + 1] = {};
};
NodePool& nodePool()
{
    // Leaked on purpose: blocks may outlive their thread's pool object.
    thread_local NodePool* pool = new NodePool;
    return *pool;
}
}  // namespace

void* nodeAllocate(std::size_t bytes)
{
    if (!TIDEWELL_ELEMENT_POOL || bytes > kLargest) return ::operator new(bytes);
    const std::size_t cls = (bytes + kGrain - 1) / kGrain;
    NodePool& pool = nodePool();
    if (!pool.free[cls]) {
        constexpr std::size_t chunk = 32 * 1024;
        const std::size_t size = cls * kGrain, count = chunk / size;
        auto* memory = static_cast<unsigned char*>(::operator new(count * size));
        for (std::size_t i = 0; i < count; ++i) {
            auto* b = reinterpret_cast<NodePool::Block*>(memory + i * size);
            b->next = pool.free[cls];
            pool.free[cls] = b;
        }
    }
    NodePool::Block* b = pool.free[cls];
    pool.free[cls] = b->next;
    return b;
}

void nodeDeallocate(void* p, std::size_t bytes)
{
    if (!p) return;
    if (!TIDEWELL_ELEMENT_POOL || bytes > kLargest) {
        ::operator delete(p);
        return;
    }
    const std::size_t cls = (bytes + kGrain - 1) / kGrain;
    auto* b = static_cast<NodePool::Block*>(p);
    NodePool& pool = nodePool();
    b->next = pool.free[cls];
    pool.free[cls] = b;
}

}  // namespace detail

void* Element::operator new(std::size_t size)
{
    if (!TIDEWELL_ELEMENT_POOL || size != sizeof(Element))
        return ::operator new(size);
    return pool().take();
}

void Element::operator delete(void* p, std::size_t size)
{
    if (!p) return;
    if (!TIDEWELL_ELEMENT_POOL || size != sizeof(Element)) {
        ::operator delete(p);
        return;
    }
    pool().give(p);
}

const Element& Element::measured() const
{
    const Element* e = this;
    while (e->measuresAsContent && !e->children.empty()) e = e->children.front().get();
    return *e;
}

void Element::place(Rect f, LayoutContext& ctx)
{
    // Placed at a size it was measured to have: under the proposal that gave
    // that size (the most recent), so what was worked out is reused.
    const Element& m = measured();
    if (m.cachePass_ == ctx.pass()) {
        const unsigned n = std::min(m.cacheCount_, kCache);
        for (unsigned k = 0; k < n; ++k) {
            const CacheEntry& e = m.cache_[(m.cacheCount_ - 1 - k) % kCache];
            if (e.size == f.size()) {
                place(f, ProposedSize{unpacked(e.width), unpacked(e.height)}, ctx);
                return;
            }
        }
    }
    place(f, ProposedSize::of(f.size()), ctx);
}

Element::~Element()
{
    if (frameHost) frameHost->forgetFrameReader(*this);
}

std::optional<std::vector<std::pair<ProposedSize, Size>>> Element::measurements() const
{
    if (cacheCount_ > kCache) return std::nullopt;
    std::vector<std::pair<ProposedSize, Size>> out;
    for (unsigned i = 0; i < cacheCount_; ++i) out.push_back({ProposedSize{unpacked(cache_[i].width), unpacked(cache_[i].height)}, cache_[i].size});
    return out;
}

void Element::place(Rect f, ProposedSize p, LayoutContext& ctx)
{
    frame = f;
    proposal = p;
    placed = true;
    node->place(*this, f, ctx);
    // Children are placed by now (and their ink known), so this one's follows.
    updateInk();
}

void Element::updateInk()
{
    std::optional<Rect> inner;
    for (auto& c : children) {
        if (!c->placed) continue;
        if (std::isinf(c->ink.width) || (inner && std::isinf(inner->width)))
            inner = std::isinf(c->ink.width) ? c->ink : *inner;
        else
            inner = inner ? unite(*inner, c->ink) : c->ink;
    }
    ink = node->inkBounds(*this, inner);
}

std::optional<double> Element::firstBaseline(Size size, LayoutContext& ctx)
{
    return node->firstBaseline(*this, size, ctx);
}

std::optional<double> Element::lastBaseline(Size size, LayoutContext& ctx)
{
    return node->lastBaseline(*this, size, ctx);
}

void Element::paint(PaintContext& pc) const
{
    if (!placed)
        return;
    if (!std::isinf(ink.width) && !isVisible(pc, ink))
        return;
    node->paint(*this, pc);
}


Rect Node::inkBounds(const Element& self, const std::optional<Rect>& children) const
{
    if (!children)
        return self.frame;
    Rect c = *children;
    if (std::isinf(c.width))
        return c;
    QTransform t;
    if (transform(self, t)) {
        const QRectF m = t.mapRect(QRectF(c.x, c.y, c.width, c.height));
        c = {m.x(), m.y(), m.width(), m.height()};
    }
    return unite(self.frame, c);
}

void computeInk(Element& e)
{
    std::optional<Rect> children;
    for (auto& c : e.children) {
        if (!c->placed) continue;
        computeInk(*c);
        if (std::isinf(c->ink.width))
            children = c->ink;
        else if (!children || !std::isinf(children->width))
            children = children ? unite(*children, c->ink) : c->ink;
    }
    e.ink = e.node->inkBounds(e, children);
}

// --- Node defaults ----------------------------------------------------------

void Node::build(Element&, BuildContext&) const {}

void Node::flatten(const View& self, std::vector<std::pair<std::string, View>>& out, const std::string& key) const
{
    out.emplace_back(key, self);
}

Size Node::sizeThatFits(Element& self, ProposedSize proposal, LayoutContext& ctx) const
{
    if (self.children.empty())
        return {0, 0};
    return self.children.front()->sizeThatFits(proposal, ctx);
}

void Node::place(Element& self, Rect frame, LayoutContext& ctx) const
{
    for (auto& c : self.children)
        c->place(frame, self.proposal, ctx);
}

std::optional<double> Node::firstBaseline(Element& self, Size size, LayoutContext& ctx) const
{
    // Wrappers that keep their child's size keep its baseline.
    if (self.children.empty())
        return std::nullopt;
    return self.children.front()->firstBaseline(size, ctx);
}

std::optional<double> Node::lastBaseline(Element& self, Size size, LayoutContext& ctx) const
{
    if (self.children.empty())
        return std::nullopt;
    return self.children.front()->lastBaseline(size, ctx);
}

void Node::paint(const Element& self, PaintContext& pc) const
{
    if (self.children.size() <= 1) {
        for (auto& c : self.children) c->paint(pc);
        return;
    }
    // Higher z-index draws later; equal ones keep their order.
    bool anyZ = false;
    for (auto& c : self.children)
        if (c->zIndexTrait != 0) anyZ = true;
    if (!anyZ) {
        for (auto& c : self.children) c->paint(pc);
        return;
    }
    std::vector<const Element*> order;
    for (auto& c : self.children) order.push_back(c.get());
    std::stable_sort(order.begin(), order.end(),
                     [](const Element* a, const Element* b) { return a->zIndexTrait < b->zIndexTrait; });
    for (auto* c : order) c->paint(pc);
}

bool Node::transform(const Element&, QTransform&) const { return false; }

// --- Building ---------------------------------------------------------------

Element& BuildContext::addChild(Element& parent, const View& view, const std::string& key, EnvironmentPtr env)
{
    std::unique_ptr<Element> child(new Element);  // default-initialised: the caches need no zeroing
    child->node = view.node();
    child->env = env ? std::move(env) : parent.env;
    child->key = key;
    child->parent = &parent;
    child->measuresAsContent = child->node->measuresAsContent();
    Element& ref = *child;
    parent.children.push_back(std::move(child));
    ref.node->build(ref, *this);
    return ref;
}

std::unique_ptr<Element> buildElementTree(const View& root, EnvironmentPtr env, BuildContext& ctx)
{
    std::unique_ptr<Element> element(new Element);
    element->node = root.node();
    element->env = env ? std::move(env) : std::make_shared<EnvironmentValues>();
    element->key = "";
    element->measuresAsContent = element->node->measuresAsContent();
    element->node->build(*element, ctx);
    return element;
}

void ModifierNode::build(Element& self, BuildContext& ctx) const
{
    self.children.reserve(1);
    Element& child = ctx.addChild(self, content_, ".", childEnvironment(self));
    self.layoutPriorityTrait = child.layoutPriorityTrait;
    self.zIndexTrait = child.zIndexTrait;
}

}  // namespace platform::ui
