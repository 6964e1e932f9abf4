#include "ui/ViewHost.h"

#include "ui/Animation.h"
#include "ui/Inspect.h"
#include "ui/Modifiers.h"
#include "ui/Painting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStyleHints>
#include <QMetaObject>
#include <QPainter>
#include <Qt>
#include <algorithm>
#include <cmath>
#include <set>

namespace platform::ui {

// --- Inspection helpers -----------------------------------------------------------

std::vector<const Element*> paintOrder(const Element& e)
{
    std::vector<const Element*> out;
    if (auto* layered = dynamic_cast<const LayeredNode*>(e.node.get()); layered && e.children.size() == 2) {
        if (layered->behind())
            out = {e.children[1].get(), e.children[0].get()};
        else
            out = {e.children[0].get(), e.children[1].get()};
        return out;
    }
    for (auto& c : e.children) out.push_back(c.get());
    std::stable_sort(out.begin(), out.end(), [](const Element* a, const Element* b) { return a->zIndexTrait < b->zIndexTrait; });
    return out;
}

QTransform transformToRoot(const Element& e)
{
    QTransform t;
    for (const Element* cur = &e; cur; cur = cur->parent) {
        QTransform local;
        if (cur->node->transform(*cur, local))
            t = t * local;
    }
    return t;
}

Rect visualFrame(const Element& e)
{
    const QRectF r = transformToRoot(e).mapRect(QRectF(e.frame.x, e.frame.y, e.frame.width, e.frame.height));
    return {r.x(), r.y(), r.width(), r.height()};
}

const Element* findElement(const Element& root, const std::function<bool(const Element&)>& match)
{
    if (match(root))
        return &root;
    for (auto& c : root.children)
        if (auto* f = findElement(*c, match))
            return f;
    return nullptr;
}

namespace {

// The deepest element that takes a hit at `p` (in the parent's layout space).
// Looking for help, content that takes no hits right under its help text still
// counts: a control explains itself while it is off.
const Element* hitElement(const Element& e, Point p, bool forHelp = false)
{
    if (!e.placed)
        return nullptr;
    const Node* node = e.node.get();
    if (auto* h = dynamic_cast<const HitTestingNode*>(node); h && !h->enabled()) {
        const bool explained = forHelp && e.parent && dynamic_cast<const HelpNode*>(e.parent->node.get());
        if (!explained)
            return nullptr;
    }
    if (dynamic_cast<const HiddenNode*>(node))
        return nullptr;
    QTransform t;
    if (node->transform(e, t)) {
        bool invertible = false;
        const QTransform inv = t.inverted(&invertible);
        if (!invertible)
            return nullptr;
        const QPointF q = inv.map(QPointF(p.x, p.y));
        p = {q.x(), q.y()};
    }
    if (auto* cs = dynamic_cast<const ContentShapeNode*>(node)) {
        // The shape is the whole hit area of its content.
        if (!cs->shape().path(e.frame).contains(p))
            return nullptr;
        auto order = paintOrder(e);
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (auto* hit = hitElement(**it, p, forHelp))
                return hit;
        return &e;
    }
    if (auto* clip = dynamic_cast<const ClipNode*>(node)) {
        if (!clip->shape().path(e.frame).contains(p))
            return nullptr;
    }
    if (!e.children.empty()) {
        auto order = paintOrder(e);
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (auto* hit = hitElement(**it, p, forHelp))
                return hit;
        return nullptr;
    }
    // Leaves: fills inside their outline, strokes on their line (a clear fill takes nothing), text,
    // images and canvases by their frame; spacers and empty views never.
    if (node->isSpacer())
        return nullptr;
    if (shapeOfNode(node)) {
        if (isClearFilledShape(node))
            return nullptr;
        return shapeNodeContains(node, e.frame, p) ? &e : nullptr;
    }
    if (e.frame.width <= 0 || e.frame.height <= 0)
        return nullptr;
    return e.frame.contains(p) ? &e : nullptr;
}

// Whether hits are allowed at `e` (no ancestor switched them off).
bool hitTestingAllowed(const Element& e)
{
    for (const Element* cur = &e; cur; cur = cur->parent) {
        if (auto* h = dynamic_cast<const HitTestingNode*>(cur->node.get()); h && !h->enabled())
            return false;
        if (dynamic_cast<const HiddenNode*>(cur->node.get()))
            return false;
        if (!cur->placed)
            return false;
    }
    return true;
}

bool regionContains(const Element& e, Point p)
{
    bool invertible = false;
    const QTransform inv = transformToRoot(e).inverted(&invertible);
    if (!invertible)
        return false;
    const QPointF q = inv.map(QPointF(p.x, p.y));
    if (auto* cs = dynamic_cast<const ContentShapeNode*>(e.node.get()))
        return cs->shape().path(e.frame).contains({q.x(), q.y()});
    return e.frame.contains({q.x(), q.y()});
}

template <class N>
void collectNodes(const Element& e, std::vector<const Element*>& out)
{
    if (!e.placed)
        return;
    if (dynamic_cast<const N*>(e.node.get()))
        out.push_back(&e);
    for (auto& c : e.children) collectNodes<N>(*c, out);
}

template <class N>
const N* nearest(const Element* e, const Element** owner = nullptr)
{
    for (const Element* cur = e; cur; cur = cur->parent)
        if (auto* n = dynamic_cast<const N*>(cur->node.get())) {
            if (owner) *owner = cur;
            return n;
        }
    return nullptr;
}

const Element* byIdentity(const Element& root, const std::string& identity)
{
    return findElement(root, [&](const Element& e) { return e.identity() == identity; });
}

// The last-drawn placed element with the modal trait (a card over the page).
void findModalCard(const Element& e, const Element*& found)
{
    if (!e.placed) return;
    if (auto* a = dynamic_cast<const AccessibilityNode*>(e.node.get()); a && (a->props().traits & unsigned(AccessibilityTrait::isModal)))
        found = &e;
    for (const Element* c : paintOrder(e)) findModalCard(*c, found);
}

bool isWithin(const std::string& identity, const std::string& ancestor)
{
    return identity.compare(0, ancestor.size(), ancestor) == 0 &&
           (identity.size() == ancestor.size() || identity[ancestor.size()] == '/' || identity[ancestor.size()] == '.');
}

// Whether a state or presence key belongs to the view at `scope` or one
// within it (slots add their own suffix after '#').
bool keyWithin(const std::string& key, const std::string& scope)
{
    return scope.empty() || isWithin(key, scope) || (key.size() > scope.size() && key[scope.size()] == '#' && key.compare(0, scope.size(), scope) == 0);
}

bool hasPreferences(const Element& e)
{
    if (dynamic_cast<const PreferenceNodeBase*>(e.node.get()) || dynamic_cast<const PreferenceHandlerBase*>(e.node.get()))
        return true;
    for (auto& c : e.children)
        if (hasPreferences(*c)) return true;
    return false;
}

size_t depth(const Element& e)
{
    size_t d = 0;
    for (const Element* cur = e.parent; cur; cur = cur->parent) ++d;
    return d;
}

void resetPlacement(Element& e)
{
    e.placed = false;
    for (auto& c : e.children) resetPlacement(*c);
}

// Reduces the preference values published inside `e`.
void collectPreference(const Element& e, std::type_index key, std::any& acc)
{
    if (!e.placed)
        return;
    for (auto& c : e.children) collectPreference(*c, key, acc);
    if (auto* pn = dynamic_cast<const PreferenceNodeBase*>(e.node.get()); pn && pn->key() == key)
        pn->contribute(acc);
}

}  // namespace

// --- ViewHost ---------------------------------------------------------------------

ViewHost::ViewHost() : alive_(std::make_shared<bool>(true))
{
    layers_.push_back(HostLayer{0, nullptr, true, nullptr});
    static QElapsedTimer started;
    if (!started.isValid()) started.start();
    clock_ = [] { return started.nsecsElapsed() / 1e9; };
    scheduler_ = [](std::function<void()> f) {
        if (QCoreApplication::instance())
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(f), Qt::QueuedConnection);
    };
}

ViewHost::~ViewHost()
{
    // Views leave with their window: their disappearance handlers run (and
    // may change shared state), but nothing rebuilds any more.
    closing_ = true;
    std::vector<std::function<void()>> gone;
    // Not while the process tears itself down: what the handlers touch may be gone.
    const bool running = QCoreApplication::instance() && !QCoreApplication::closingDown();
    for (auto& [_, p] : present_)
        if (p.gone && running) gone.push_back(std::move(p.gone));
    present_.clear();
    pendingHooks_.clear();
    ++dispatching_;
    for (auto& g : gone) g();
    --dispatching_;
    *alive_ = false;
    observations_.clear();
    // Element trees hold closures over state slots; drop them first.
    closingLayers_.clear();
    layers_.clear();
    readers_.clear();
}

void ViewHost::setRoot(std::function<View()> root)
{
    root_ = std::move(root);
    layers_[0].content = root_;
    setNeedsRebuild();
}

void ViewHost::setRootView(View root)
{
    setRoot([root] { return root; });
}

void ViewHost::setSize(Size size)
{
    if (size == size_)
        return;
    size_ = size;
    setNeedsRebuild();
}

void ViewHost::setEnvironment(const EnvironmentValues& env)
{
    env_ = env;
    setNeedsRebuild();
}

void ViewHost::setClock(std::function<double()> clock) { clock_ = std::move(clock); }
double ViewHost::now() const { return clock_ ? clock_() : 0; }

void ViewHost::requestFrame(double seconds)
{
    const double due = now() + std::max(0.0, seconds);
    if (!nextFrame_ || due < *nextFrame_)
        nextFrame_ = due;
}

void ViewHost::requestFrame(double seconds, Element& reader)
{
    const double due = now() + std::max(0.0, seconds);
    reader.frameHost = this;
    for (auto& [e, d] : readers_)
        if (e == &reader) {
            d = std::min(d, due);
            return;
        }
    readers_.emplace_back(&reader, due);
}

void ViewHost::forgetFrameReader(const Element& reader)
{
    std::erase_if(readers_, [&reader](const auto& r) { return r.first == &reader; });
}

std::optional<double> ViewHost::nextFrameDue() const
{
    std::optional<double> due = nextFrame_;
    for (const auto& [_, d] : readers_)
        if (!due || d < *due) due = d;
    return due;
}

void ViewHost::tick()
{
    // Timers count whole milliseconds: one may fire a little before its frame is due.
    constexpr double early = 0.002;
    const double started = now();
    if (dirty_ || dispatching_ > 0 || (nextFrame_ && *nextFrame_ <= started + early)) {
        setNeedsRebuild();
        flush();
        return;
    }
    std::vector<std::pair<Element*, double>> due;
    for (const auto& r : readers_)
        if (r.second <= started + early) due.push_back(r);
    if (due.empty()) return;
    double first = due.front().second;
    for (const auto& [_, d] : due) first = std::min(first, d);
    frameTime_ = first <= started && started - first < 0.25 ? first : started;
    // Outer readers first: rebuilding one drops those inside it.
    std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return depth(*a.first) < depth(*b.first); });
    for (const auto& [reader, _] : due) {
        if (std::none_of(readers_.begin(), readers_.end(), [r = reader](const auto& x) { return x.first == r; }))
            continue;
        forgetFrameReader(*reader);
        ++readerRebuilds_;
        const QRect before = inkOnScreen(*reader);
        if (!rebuildReader(*reader)) {
            ++escalations_;
            dirty_ = true;
            // Still the frame that was due: the whole window is laid out at its
            // time, so the timeline's next frame keeps its cadence.
            nextFrame_ = std::min(nextFrame_.value_or(first), first);
            flush();
            return;
        }
        damage_ += before;
        damage_ += inkOnScreen(*reader);
    }
    runHooks();
    repaint();
}

bool ViewHost::rebuildReader(Element& e)
{
    // The parent's questions of the last layout are asked again below: with
    // the same answers it has no reason to lay out anything but `e`.
    const auto asked = e.measurements();
    if (!e.placed || e.measuresAsContent || !asked) return false;
    const std::string scope = e.identity();
    ++generation_;
    ++rebuilds_;
    std::erase_if(retained_, [&scope](const std::string& prefix) { return keyWithin(prefix, scope); });
    building_ = true;
    e.children.clear();
    e.node->build(e, *this);
    building_ = false;
    detail::buildFinished(this, rebuilds_);
    // Presenting or dismissing a layer, or writing state, while building.
    if (dirty_) return false;
    LayoutContext ctx(this, ++layoutPass_);
    layingOut_ = true;
    bool same = true;
    for (const auto& [proposal, size] : *asked)
        if (!(e.sizeThatFits(proposal, ctx) == size)) {
            same = false;
            break;
        }
    if (same) e.place(e.frame, e.proposal, ctx);
    layingOut_ = false;
    if (!same) return false;
    for (Element* a = e.parent; a; a = a->parent) a->updateInk();
    dropGone(scope);
    if (hasPreferences(e)) runPreferences();
    return true;
}

QRect ViewHost::wholeWindow() const
{
    return QRect(0, 0, int(std::ceil(size_.width)), int(std::ceil(size_.height)));
}

QRect ViewHost::inkOnScreen(const Element& e) const
{
    // Views that may draw anywhere (canvases) are held by the clip around
    // them; a shadow beneath blurs what the view draws beyond its own ink.
    const Element* bound = &e;
    while (std::isinf(bound->ink.width) && bound->parent) bound = bound->parent;
    for (const Element* a = bound->parent; a; a = a->parent)
        if (dynamic_cast<const ShadowNode*>(a->node.get())) bound = a;
    if (std::isinf(bound->ink.width) || std::isinf(bound->ink.height)) return wholeWindow();
    QRectF r(bound->ink.x, bound->ink.y, bound->ink.width, bound->ink.height);
    if (bound->parent) r = transformToRoot(*bound->parent).mapRect(r);
    return r.toAlignedRect().adjusted(-1, -1, 1, 1) & wholeWindow();
}

QRegion ViewHost::takeDamage()
{
    QRegion taken = std::move(damage_);
    damage_ = QRegion();
    return taken;
}

void ViewHost::dropGone(const std::string& scope)
{
    auto retained = [this](const std::string& identity) {
        for (const std::string& prefix : retained_)
            if (identity.compare(0, prefix.size(), prefix) == 0) return true;
        return false;
    };
    for (auto it = slots_.lower_bound(scope); it != slots_.end() && it->first.compare(0, scope.size(), scope) == 0;) {
        if (keyWithin(it->first, scope) && it->second.generation != generation_ && !retained(it->first))
            it = slots_.erase(it);
        else
            ++it;
    }
    for (auto it = present_.lower_bound(scope); it != present_.end() && it->first.compare(0, scope.size(), scope) == 0;) {
        if (!keyWithin(it->first, scope) || it->second.generation == generation_) {
            ++it;
            continue;
        }
        if (it->second.gone) goneHooks_.push_back(std::move(it->second.gone));
        it = present_.erase(it);
    }
}

void ViewHost::setScheduler(std::function<void(std::function<void()>)> scheduler) { scheduler_ = std::move(scheduler); }

void ViewHost::observe(platform::ObservableObject& object)
{
    std::weak_ptr<bool> alive = alive_;
    observations_.push_back(object.objectWillChange().subscribe([this, alive] {
        if (auto a = alive.lock(); a && *a) setNeedsRebuild();
    }));
}

void ViewHost::setNeedsRebuild()
{
    if (closing_)
        return;
    dirty_ = true;
    schedule();
}

void ViewHost::schedule()
{
    if (scheduled_ || !scheduler_)
        return;
    scheduled_ = true;
    std::weak_ptr<bool> alive = alive_;
    scheduler_([this, alive] {
        auto a = alive.lock();
        if (!a || !*a) return;
        scheduled_ = false;
        flush();
    });
}

void ViewHost::flush()
{
    if (dispatching_ > 0 || building_ || layingOut_) {
        // Never replace the tree under a running handler, build or layout; run again afterwards.
        schedule();
        return;
    }
    if (!dirty_)
        return;
    rebuild();
    layoutAll();
    // State of views that are gone is dropped (layout may have built
    // geometry-dependent content, so this waits until now).
    dropGone({});
    runPreferences();
    // Closing layers fade frame by frame until they are gone.
    std::erase_if(closingLayers_, [this](const ClosingLayer& c) { return now() - c.start >= c.exit.duration; });
    if (!closingLayers_.empty()) requestFrame(1.0 / 60);
    damage_ = wholeWindow();
    runHooks();
    repaint();
}

void ViewHost::afterBuild(std::function<void()> f)
{
    if (f) pendingHooks_.push_back(std::move(f));
}

bool ViewHost::markPresent(const std::string& identity, std::function<void()> gone)
{
    auto [it, appeared] = present_.try_emplace(identity);
    it->second.generation = generation_;
    it->second.gone = std::move(gone);
    return appeared;
}

void ViewHost::retainState(const std::string& identityPrefix) { retained_.push_back(identityPrefix); }

void ViewHost::runHooks()
{
    std::vector<std::function<void()>> calls = std::move(goneHooks_);
    goneHooks_.clear();
    if (calls.empty() && pendingHooks_.empty())
        return;
    // Views that went first, then appearances and changes in build order.
    for (auto& h : pendingHooks_) calls.push_back(std::move(h));
    pendingHooks_.clear();
    ++dispatching_;
    for (auto& c : calls) c();
    --dispatching_;
}

void ViewHost::repaint()
{
    if (repaint_) repaint_();
}

std::shared_ptr<void> ViewHost::stateSlot(const std::string& identity, const std::function<std::shared_ptr<void>()>& make)
{
    Slot& slot = slots_[identity];
    if (!slot.value)
        slot.value = make();
    slot.generation = generation_;
    return slot.value;
}

void ViewHost::rebuild()
{
    dirty_ = false;
    // A frame asked for keeps its place on the cadence that asked for it, so
    // the time the timer took to fire never adds up frame after frame.
    const double started = now();
    const std::optional<double> due = nextFrameDue();
    frameTime_ = due && *due <= started && started - *due < 0.25 ? *due : started;
    ++generation_;
    ++rebuilds_;
    nextFrame_.reset();
    readers_.clear();
    preferenceHandlers = 0;
    freshTrees_ = true;
    retained_.clear();
    auto env = std::make_shared<EnvironmentValues>(env_);
    // Views present and dismiss layers while they build (sheets, popovers),
    // so the list may grow or shift under the walk: each layer is found
    // again by its id, and nothing holds on to a place in the list.
    building_ = true;
    for (size_t i = 0; i < layers_.size(); ++i) {
        const int id = layers_[i].id;
        // The old tree goes first: the new one is made in the memory it leaves,
        // still in the cache, rather than in a second tree's worth of it.
        layers_[i].tree.reset();
        const std::function<View()> content = layers_[i].content;
        if (!content)
            continue;
        View v = content();
        if (id != 0)
            v = v.id("layer" + std::to_string(id));
        auto tree = buildElementTree(v, env, *this);
        // A layer presented during the build goes below the floating ones,
        // which may move this one along.
        const auto built = std::find_if(layers_.begin(), layers_.end(), [id](const HostLayer& l) { return l.id == id; });
        if (built == layers_.end())
            continue;
        built->tree = std::move(tree);
        i = size_t(built - layers_.begin());
    }
    building_ = false;
    detail::buildFinished(this, rebuilds_);
    layers_.erase(std::remove_if(layers_.begin() + 1, layers_.end(), [](const HostLayer& l) { return !l.content; }), layers_.end());
}

void ViewHost::layoutAll()
{
    // Content built during layout (inside geometry readers) presents and
    // dismisses layers: the walk goes by id, so the list may change under it.
    // A layer presented meanwhile has no tree until the rebuild it asked for,
    // and one dismissed keeps its tree, out of sight, until then.
    std::vector<int> ids;
    for (const HostLayer& layer : layers_) ids.push_back(layer.id);
    LayoutContext ctx(this, ++layoutPass_);
    layingOut_ = true;
    // The layers at the foot first, at the height their content asks: the
    // rest is laid out in the room above them.
    footStrip_ = 0;
    for (const int id : ids) {
        const HostLayer* layer = findLayer(id);
        if (!layer || !shown(*layer) || !layer->takesFoot) continue;
        Element& root = *layer->tree;
        if (!freshTrees_)
            resetPlacement(root);
        const double height = std::min(size_.height, root.sizeThatFits({size_.width, std::nullopt}, ctx).height);
        const ProposedSize offer = ProposedSize::of({size_.width, height});
        const Size s = root.sizeThatFits(offer, ctx);
        root.place({(size_.width - s.width) / 2, size_.height - height, s.width, s.height}, offer, ctx);
        footStrip_ = std::max(footStrip_, height);
    }
    const Size above{size_.width, size_.height - footStrip_};
    for (const int id : ids) {
        const HostLayer* layer = findLayer(id);
        if (!layer || !shown(*layer) || layer->takesFoot) continue;
        Element& root = *layer->tree;
        if (!freshTrees_)
            resetPlacement(root);
        // Other floating layers take the whole window.
        const Size room = layer->floating ? size_ : above;
        const ProposedSize offer = ProposedSize::of(room);
        const Size s = root.sizeThatFits(offer, ctx);
        // The root is centred in its room, as a window centres its content.
        root.place({(room.width - s.width) / 2, (room.height - s.height) / 2, s.width, s.height}, offer, ctx);
    }
    layingOut_ = false;
    freshTrees_ = false;
}

ViewHost::HostLayer* ViewHost::findLayer(int id)
{
    const auto it = std::find_if(layers_.begin(), layers_.end(), [id](const HostLayer& l) { return l.id == id; });
    return it == layers_.end() ? nullptr : &*it;
}

bool ViewHost::shown(const HostLayer& layer)
{
    // A dismissed layer has no content and waits for the next rebuild to go.
    return layer.tree && (layer.id == 0 || layer.content);
}

void ViewHost::runPreferences()
{
    if (preferenceHandlers == 0 && lastPreferences_.empty())
        return;
    std::vector<std::pair<const PreferenceHandlerBase*, std::any>> calls;
    std::set<std::string> seen;
    for (auto& layer : layers_) {
        if (!shown(layer)) continue;
        std::vector<const Element*> handlers;
        collectNodes<PreferenceHandlerBase>(*layer.tree, handlers);
        for (const Element* h : handlers) {
            auto* node = static_cast<const PreferenceHandlerBase*>(h->node.get());
            std::any acc;
            collectPreference(*h, node->key(), acc);
            if (!acc.has_value()) acc = node->defaultValue();
            const std::string key = h->identity() + "|" + node->key().name();
            seen.insert(key);
            auto it = lastPreferences_.find(key);
            if (it != lastPreferences_.end() && node->equal(it->second, acc))
                continue;
            lastPreferences_[key] = acc;
            calls.emplace_back(node, acc);
        }
    }
    for (auto it = lastPreferences_.begin(); it != lastPreferences_.end();)
        it = seen.count(it->first) ? std::next(it) : lastPreferences_.erase(it);
    // Handlers run after layout; a state change they make rebuilds next frame.
    ++dispatching_;
    for (auto& [node, value] : calls) node->call(value);
    --dispatching_;
}

void ViewHost::render(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    PaintContext pc{&painter, env_.displayScale};
    for (auto& layer : layers_)
        if (shown(layer)) layer.tree->paint(pc);
    for (const ClosingLayer& c : closingLayers_) {
        const double p = std::clamp((now() - c.start) / c.exit.duration, 0.0, 1.0);
        const double eased = p * p;  // ease in: slow to start, quick to leave
        painter.save();
        painter.setOpacity(painter.opacity() * (1 - eased));
        const double s = 1 - (1 - c.exit.scale) * eased;
        painter.translate(size_.width / 2, size_.height / 2);
        painter.scale(s, s);
        painter.translate(-size_.width / 2, -size_.height / 2);
        c.tree->paint(pc);
        painter.restore();
    }
}

void ViewHost::render(QPainter& painter, const QRegion& area)
{
    // Antialiased edges come out a little differently under a clip: the
    // whole window is painted without one, as it always was.
    if (QRegion(wholeWindow()).subtracted(area).isEmpty()) {
        render(painter);
        return;
    }
    for (const QRect& r : area) {
        painter.save();
        painter.setClipRect(r);
        render(painter);
        painter.restore();
    }
}

QImage ViewHost::renderImage(double scale)
{
    flush();
    const int w = std::max(1, int(std::ceil(size_.width * scale)));
    const int h = std::max(1, int(std::ceil(size_.height * scale)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(scale, scale);
    render(p);
    p.end();
    return image;
}

int ViewHost::presentLayer(std::function<View()> content, bool modal)
{
    const int id = nextLayerId_++;
    const auto floating = std::find_if(layers_.begin() + 1, layers_.end(), [](const HostLayer& l) { return l.floating; });
    layers_.insert(floating, HostLayer{id, std::move(content), modal, nullptr});
    setNeedsRebuild();
    return id;
}

int ViewHost::presentFloatingLayer(std::function<View()> content, bool takesFoot)
{
    const int id = nextLayerId_++;
    layers_.push_back(HostLayer{id, std::move(content), false, nullptr, true, takesFoot});
    setNeedsRebuild();
    return id;
}

size_t ViewHost::layerCount() const
{
    return size_t(std::count_if(layers_.begin(), layers_.end(), [](const HostLayer& l) { return !l.floating && (l.id == 0 || l.content); }));
}

std::vector<const Element*> ViewHost::floatingLayerRoots() const
{
    std::vector<const Element*> roots;
    for (const HostLayer& l : layers_)
        if (l.floating && shown(l)) roots.push_back(l.tree.get());
    return roots;
}

std::vector<const Element*> ViewHost::layerRoots() const
{
    std::vector<const Element*> roots;
    for (const HostLayer& l : layers_)
        if (!l.floating && shown(l)) roots.push_back(l.tree.get());
    return roots;
}

std::vector<ViewHost::HostLayer*> ViewHost::keyLayers() const
{
    auto layers = eventLayers({});
    std::erase_if(layers, [](const HostLayer* l) { return l->floating; });
    return layers;
}

void ViewHost::dismissLayer(int id, std::optional<LayerExit> exit)
{
    if (id == 0) return;
    auto it = std::find_if(layers_.begin(), layers_.end(), [id](const HostLayer& l) { return l.id == id; });
    if (it == layers_.end()) return;
    if (exit && it->tree && it->tree->placed && exit->duration > 0 && !closing_)
        closingLayers_.push_back({std::move(it->tree), now(), *exit});
    // Its tree may be running a handler, or being built or laid out: the
    // layer leaves sight at once and the list at the next rebuild.
    it->content = nullptr;
    setNeedsRebuild();
}

const Element* ViewHost::rootElement() const { return layers_.empty() ? nullptr : layers_[0].tree.get(); }

std::vector<ViewHost::HostLayer*> ViewHost::eventLayers(Point p) const
{
    // Topmost first; a modal layer hides everything beneath it.
    std::vector<HostLayer*> out;
    for (auto it = layers_.rbegin(); it != layers_.rend(); ++it) {
        auto* layer = const_cast<HostLayer*>(&*it);
        if (!shown(*layer)) continue;
        out.push_back(layer);
        if (layer->modal) break;
    }
    (void)p;
    return out;
}

const Element* ViewHost::hitTest(Point p) const
{
    for (HostLayer* layer : eventLayers(p))
        if (auto* hit = hitElement(*layer->tree, p))
            return hit;
    return nullptr;
}

void ViewHost::updateHover(Point p, bool inside)
{
    std::vector<const Element*> hoverables;
    std::vector<HostLayer*> layers = eventLayers(p);
    for (HostLayer* layer : layers) collectNodes<HoverNode>(*layer->tree, hoverables);
    std::set<std::string> now;
    std::vector<std::function<void()>> calls;
    for (const Element* e : hoverables) {
        if (!inside || !hitTestingAllowed(*e) || !regionContains(*e, p))
            continue;
        now.insert(e->identity());
        auto* n = static_cast<const HoverNode*>(e->node.get());
        if (!hovered_.count(e->identity()) && n->onHover()) {
            auto f = n->onHover();
            calls.push_back([f] { f(true); });
        }
        if (n->continuous()) {
            auto f = n->continuous();
            const Rect vf = visualFrame(*e);
            HoverPhase phase{HoverPhaseKind::active, {p.x - vf.x, p.y - vf.y}};
            calls.push_back([f, phase] { f(phase); });
        }
    }
    for (auto& [identity, _] : hovered_) {
        if (now.count(identity)) continue;
        // Views that left the pointer (or the tree) hear about it.
        for (const Element* e : hoverables) {
            if (e->identity() != identity) continue;
            auto* n = static_cast<const HoverNode*>(e->node.get());
            if (n->onHover()) {
                auto f = n->onHover();
                calls.push_back([f] { f(false); });
            }
            if (n->continuous()) {
                auto f = n->continuous();
                calls.push_back([f] { f(HoverPhase{HoverPhaseKind::ended, {}}); });
            }
        }
    }
    hovered_.clear();
    for (const auto& id : now) hovered_[id] = true;
    ++dispatching_;
    for (auto& c : calls) c();
    --dispatching_;
}

void ViewHost::pointerMove(Point p)
{
    updateHover(p, true);
    moveDrag(p);
}

void ViewHost::pointerLeave() { updateHover({-1e9, -1e9}, false); }

void ViewHost::moveDrag(Point p)
{
    if (!drag_) return;
    const auto along = [axis = drag_->axis](Point a, Point b) { return axis == Axis::horizontal ? b.x - a.x : b.y - a.y; };
    if (!drag_->moving) {
        // A hand's small wobble during a click is still a click.
        const int distance = qGuiApp ? QGuiApplication::styleHints()->startDragDistance() : 10;
        if (std::abs(along(drag_->start, p)) < distance) return;
        drag_->moving = true;
        if (pressed_) {
            pressed_.reset();
            setNeedsRebuild();  // the pressed look goes
        }
    }
    const double moved = along(drag_->last, p);
    drag_->last = p;
    if (moved == 0) return;
    auto action = drag_->action;
    ++dispatching_;
    action(moved, false);
    --dispatching_;
}

void ViewHost::pointerPress(Point p)
{
    pressed_.reset();
    drag_.reset();
    const Element* hit = hitTest(p);
    const Element* owner = nullptr;
    if (hit && nearest<TapNode>(hit, &owner) && owner->env->isEnabled)
        pressed_ = owner->identity();
    if (auto* d = hit ? nearest<DragNode>(hit) : nullptr; d && d->action())
        drag_ = Drag{p, p, d->axis(), d->action()};
    if (pressed_)
        setNeedsRebuild();  // pressed looks
    // A press gives the keys to the focusable view under it; a press anywhere
    // else takes them back, so a field stops typing once the user clicks away.
    const Element* focusOwner = nullptr;
    const std::string before = focus_;
    auto* f = hit ? nearest<FocusableNode>(hit, &focusOwner) : nullptr;
    if (f && f->focusable() && f->takesFocusOnClick())
        focus_ = focusOwner->identity();
    else
        focus_.clear();
    if (focus_ != before || focusRing_)
        setNeedsRebuild();  // focus rings and carets
    focusRing_ = false;
}

void ViewHost::pointerRelease(Point p)
{
    if (drag_ && drag_->moving) {
        moveDrag(p);
        auto action = std::exchange(drag_, std::nullopt)->action;
        ++dispatching_;
        action(0, true);
        --dispatching_;
        return;  // a drag is not a tap
    }
    drag_.reset();
    const std::optional<std::string> pressed = std::exchange(pressed_, std::nullopt);
    if (!pressed)
        return;
    setNeedsRebuild();
    const Element* hit = hitTest(p);
    const Element* owner = nullptr;
    const TapNode* tap = hit ? nearest<TapNode>(hit, &owner) : nullptr;
    // A tap lands only when press and release hit the same view.
    if (!tap || owner->identity() != *pressed || !tap->action())
        return;
    auto action = tap->action();
    ++dispatching_;
    action();
    --dispatching_;
}

void ViewHost::tap(Point p)
{
    pointerPress(p);
    pointerRelease(p);
}

bool ViewHost::scroll(Point p, ScrollDelta delta)
{
    const Element* hit = hitTest(p);
    if (!hit) return false;
    const ScrollWheelNode* n = nearest<ScrollWheelNode>(hit);
    if (!n || !n->action()) return false;
    auto action = n->action();
    ++dispatching_;
    action(delta);
    --dispatching_;
    return true;
}

bool ViewHost::key(const KeyPress& key)
{
    std::vector<std::function<bool(const KeyPress&)>> handlers;
    const auto layers = keyLayers();
    const unsigned mods = key.modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    // Space and Return press the focused control; none when nothing pressable has the focus.
    auto focusedPress = [this]() -> std::function<void()> {
        // Asked again each time: the handlers that ran before may have changed the layers.
        for (HostLayer* layer : keyLayers()) {
            const Element* focused = focus_.empty() ? nullptr : byIdentity(*layer->tree, focus_);
            if (!focused) continue;
            const Element* owner = nullptr;
            auto* tap = nearest<TapNode>(focused, &owner);
            if (!tap || !tap->action() || !owner->env->isEnabled) return nullptr;
            return tap->action();
        }
        return nullptr;
    };
    // A focused view of a floating layer is pressed by Return and Space
    // before any layer beneath hears them; other keys go on to those layers.
    const bool pressKey = (key.key == Qt::Key_Return || key.key == Qt::Key_Enter || key.key == Qt::Key_Space) && !mods;
    for (size_t i = 0; pressKey && !focus_.empty() && i < layers_.size(); ++i) {
        if (!layers_[i].floating || !shown(layers_[i])) continue;
        const Element* focused = byIdentity(*layers_[i].tree, focus_);
        const Element* owner = nullptr;
        auto* tap = focused ? nearest<TapNode>(focused, &owner) : nullptr;
        if (!tap || !tap->action() || !owner->env->isEnabled) continue;
        auto press = tap->action();
        ++dispatching_;
        press();
        --dispatching_;
        return true;
    }
    if (!layers.empty()) {
        // A modal card on top hears keys first while the focus is elsewhere,
        // so its default and cancel buttons answer Return and Escape even
        // while a field outside it has the keys.
        const Element* card = nullptr;
        findModalCard(*layers.front()->tree, card);
        if (card && !(!focus_.empty() && isWithin(focus_, card->identity()))) {
            std::vector<const Element*> inside;
            collectNodes<KeyPressNode>(*card, inside);
            for (auto* e : inside)
                if (auto& a = static_cast<const KeyPressNode*>(e->node.get())->action()) handlers.push_back(a);
        }
    }
    for (HostLayer* layer : layers) {
        const Element* start = focus_.empty() ? nullptr : byIdentity(*layer->tree, focus_);
        if (start) {
            // The focused view's own handlers (its modifiers and content), then its ancestors'.
            std::vector<const Element*> inside;
            collectNodes<KeyPressNode>(*start, inside);
            for (auto* e : inside)
                if (auto& a = static_cast<const KeyPressNode*>(e->node.get())->action()) handlers.push_back(a);
            // Return presses the focused button (a field has taken it above),
            // ahead of any default button: the focus says which one is meant.
            if ((key.key == Qt::Key_Return || key.key == Qt::Key_Enter) && !mods)
                if (auto press = focusedPress())
                    handlers.push_back([press](const KeyPress&) {
                        press();
                        return true;
                    });
            for (const Element* cur = start->parent; cur; cur = cur->parent)
                if (auto* k = dynamic_cast<const KeyPressNode*>(cur->node.get()); k && k->action())
                    handlers.push_back(k->action());
        }
        if (!start) {
            // Nothing focused: the key goes to the layer's key handlers in tree order.
            std::vector<const Element*> all;
            collectNodes<KeyPressNode>(*layer->tree, all);
            for (auto* e : all)
                if (auto& a = static_cast<const KeyPressNode*>(e->node.get())->action()) handlers.push_back(a);
        }
        if (layer->modal) break;
    }
    if (!focus_.empty()) {
        // Keys the focused view leaves go to the window's other handlers
        // (shortcuts); fields check that they have the focus themselves.
        for (HostLayer* layer : layers) {
            std::vector<const Element*> all;
            collectNodes<KeyPressNode>(*layer->tree, all);
            for (auto* e : all)
                if (auto& a = static_cast<const KeyPressNode*>(e->node.get())->action()) handlers.push_back(a);
            if (layer->modal) break;
        }
    }
    ++dispatching_;
    bool handled = false;
    for (auto& h : handlers)
        if ((handled = h(key))) break;
    --dispatching_;
    if (handled) return true;
    if ((key.key == Qt::Key_Tab || key.key == Qt::Key_Backtab) && !mods)
        return moveFocus(key.key == Qt::Key_Tab && !(key.modifiers & Qt::ShiftModifier));
    if (key.key == Qt::Key_Space && !mods) {
        auto press = focusedPress();
        if (!press) return false;
        ++dispatching_;
        press();
        --dispatching_;
        return true;
    }
    return false;
}

bool ViewHost::moveFocus(bool forward)
{
    const auto layers = keyLayers();
    if (layers.empty()) return false;
    const Element* scope = nullptr;
    findModalCard(*layers.front()->tree, scope);
    if (!scope) scope = layers.front()->tree.get();
    std::vector<const Element*> candidates;
    collectNodes<FocusableNode>(*scope, candidates);
    // What floats above every layer (the window's banner) comes last, so the
    // keyboard reaches it whatever sheet is open.
    for (const HostLayer& layer : layers_)
        if (layer.floating && shown(layer)) collectNodes<FocusableNode>(*layer.tree, candidates);
    std::vector<std::string> order;
    for (const Element* e : candidates) {
        auto* f = static_cast<const FocusableNode*>(e->node.get());
        if (f->focusable() && e->env->isEnabled && hitTestingAllowed(*e)) order.push_back(e->identity());
    }
    if (order.empty()) return false;
    auto at = std::find(order.begin(), order.end(), focus_);
    size_t next = 0;
    if (at == order.end()) next = forward ? 0 : order.size() - 1;
    else {
        const size_t i = size_t(at - order.begin());
        next = forward ? (i + 1) % order.size() : (i + order.size() - 1) % order.size();
    }
    focus_ = order[next];
    focusRing_ = true;
    setNeedsRebuild();
    return true;
}

std::optional<std::string> ViewHost::tooltipAt(Point p) const
{
    for (HostLayer* layer : eventLayers(p)) {
        const Element* hit = hitElement(*layer->tree, p, true);
        if (!hit) continue;
        for (const Element* cur = hit; cur; cur = cur->parent)
            if (auto* h = dynamic_cast<const HelpNode*>(cur->node.get()))
                return h->text();
        return std::nullopt;
    }
    return std::nullopt;
}

CursorShape ViewHost::cursorAt(Point p) const
{
    const Element* hit = hitTest(p);
    for (const Element* cur = hit; cur; cur = cur->parent)
        if (auto* c = dynamic_cast<const CursorNode*>(cur->node.get()))
            return c->shape();
    // A cursor region counts over its whole frame, not just drawn pixels.
    for (HostLayer* layer : eventLayers(p)) {
        std::vector<const Element*> cursors;
        collectNodes<CursorNode>(*layer->tree, cursors);
        for (auto it = cursors.rbegin(); it != cursors.rend(); ++it)
            if (hitTestingAllowed(**it) && regionContains(**it, p))
                return static_cast<const CursorNode*>((*it)->node.get())->shape();
    }
    return CursorShape::arrow;
}

AccessibilityNodeInfo ViewHost::accessibilityTree() const
{
    AccessibilityNodeInfo root;
    root.isContainer = true;
    root.frame = {0, 0, size_.width, size_.height};
    for (auto& layer : layers_)
        if (shown(layer)) root.children.push_back(buildAccessibilityTree(*layer.tree));
    return root;
}

QImage renderToImage(const View& view, Size size, double scale, const EnvironmentValues& env)
{
    ViewHost host;
    host.setScheduler(nullptr);
    EnvironmentValues e = env;
    e.displayScale = scale;
    host.setEnvironment(e);
    host.setSize(size);
    host.setRootView(view);
    return host.renderImage(scale);
}

}  // namespace platform::ui
