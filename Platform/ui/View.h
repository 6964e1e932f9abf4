#pragma once

#include "ui/Color.h"
#include "ui/Environment.h"
#include "ui/Font.h"
#include "ui/Geometry.h"
#include "ui/ShapeStyle.h"

#include <algorithm>
#include <cstdint>
#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <typeindex>
#include <vector>

class QPainter;
class QTransform;

namespace platform::ui {

class Element;
class Node;
class Shape;
class BuildContext;
class LayoutContext;
struct PaintContext;
class ViewTask;
class View;

namespace detail {
// Nodes are made and dropped by the thousand on every build: they come from
// per-thread free lists of a few sizes instead of the general heap. A block
// freed on another thread joins that thread's lists; blocks are never given
// back to the system.
void* nodeAllocate(std::size_t bytes);
void nodeDeallocate(void* p, std::size_t bytes);
template <class T>
struct NodeAllocator {
    using value_type = T;
    NodeAllocator() = default;
    template <class U>
    NodeAllocator(const NodeAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(nodeAllocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { nodeDeallocate(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const NodeAllocator<U>&) const { return true; }
};
template <class T, class... Args>
std::shared_ptr<T> makeNode(Args&&... args)
{
    return std::allocate_shared<T>(NodeAllocator<T>(), std::forward<Args>(args)...);
}

View onChangeView(const View& content, std::any value, std::function<bool(const std::any&, const std::any&)> equal,
                  std::function<void(const std::any&, const std::any&)> call);
}

enum class HoverPhaseKind { active, ended };
struct HoverPhase {
    HoverPhaseKind kind = HoverPhaseKind::ended;
    Point location;  // in the view's own coordinates, while active
};

struct ScrollDelta {
    double dx = 0;  // points, positive to the right
    double dy = 0;  // points, positive downwards
    bool fromWheel = false;  // notches of a mouse wheel, not a touchpad's pixels
};

enum class CursorShape { arrow, pointingHand, iBeam };

struct KeyPress {
    int key = 0;            // Qt key code
    std::string text;       // the characters typed, UTF-8
    unsigned modifiers = 0; // Qt keyboard modifiers
};

enum class AccessibilityChildBehavior { ignore, contain, combine };
// `isModal`: the element is a card the user must deal with first; Return and
// Escape reach its default and cancel buttons wherever the focus is.
enum class AccessibilityTrait : unsigned { none = 0, header = 1, selected = 2, button = 4, image = 8, staticText = 16, isModal = 32 };

enum class ContentMode { fit, fill };

// Flexible frame: any missing bound leaves that side to the content.
struct FrameSpec {
    std::optional<double> minWidth, idealWidth, maxWidth;
    std::optional<double> minHeight, idealHeight, maxHeight;
    Alignment alignment = Alignment::center;
};

struct StrokeStyle;

// A view is an immutable value: a shared node. Modifiers return new views
// that wrap this one, so `Text("a").padding(8).background(...)` reads as the
// declarative original.
class View {
public:
    View();  // an empty view
    View(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
    View(const Color& color);      // a colour fills its frame
    View(const Shape& shape);      // a shape filled with the foreground style

    const std::shared_ptr<const Node>& node() const { return node_; }

    // Identity
    View id(std::string identifier) const;

    // Layout
    View frame(std::optional<double> width, std::optional<double> height, Alignment alignment = Alignment::center) const;
    View frame(const FrameSpec& config) const;
    View padding() const;  // the default amount on every edge
    View padding(double amount) const;
    View padding(Edges edges, double amount) const;
    View padding(Edges edges) const;
    View padding(EdgeInsets insets) const;
    View fixedSize(bool horizontal = true, bool vertical = true) const;
    View layoutPriority(double priority) const;
    View overlay(View content, Alignment alignment = Alignment::center) const;
    View background(View content, Alignment alignment = Alignment::center) const;
    View offset(double x, double y) const;
    View position(double x, double y) const;
    View zIndex(double z) const;
    View hidden() const;
    View aspectRatio(std::optional<double> ratio, ContentMode mode) const;
    View scaledToFit() const;
    View scaledToFill() const;

    // Environment. The common ones merge into the patch node they are
    // chained on; on a temporary view that node is changed in place.
    View font(Font font) const&;
    View font(Font font) &&;
    // The weight and equal-width digits of every font inside, including
    // fonts set further in.
    View fontWeight(FontWeight weight) const&;
    View fontWeight(FontWeight weight) &&;
    View bold() const { return fontWeight(FontWeight::bold); }
    View monospacedDigit() const&;
    View monospacedDigit() &&;
    // Letter tracking of every text inside, in points (fonts set further in keep it).
    View tracking(double points) const&;
    View tracking(double points) &&;
    View foregroundStyle(ShapeStyle style) const&;
    View foregroundStyle(ShapeStyle style) &&;
    View foregroundColor(Color color) const { return foregroundStyle(color); }
    View lineLimit(std::optional<int> lines) const&;
    View lineLimit(std::optional<int> lines) &&;
    View truncationMode(TruncationMode mode) const&;
    View truncationMode(TruncationMode mode) &&;
    View minimumScaleFactor(double factor) const&;
    View minimumScaleFactor(double factor) &&;
    View multilineTextAlignment(TextAlignment alignment) const&;
    View multilineTextAlignment(TextAlignment alignment) &&;
    View disabled(bool disabled) const;
    View environment(std::function<void(EnvironmentValues&)> change) const;
    template <class Key>
    View environment(typename Key::Value value) const
    {
        return environment([value](EnvironmentValues& e) { e.set<Key>(value); });
    }

    // Painting effects
    View opacity(double opacity) const;
    View clipShape(const Shape& shape) const;
    View clipped() const;
    View cornerRadius(double radius) const;
    View shadow(Color color, double radius, double x = 0, double y = 0) const;
    View scaleEffect(double scale, UnitPoint anchor = UnitPoint::center) const;
    View scaleEffect(double sx, double sy, UnitPoint anchor = UnitPoint::center) const;
    View rotationEffect(Angle angle, UnitPoint anchor = UnitPoint::center) const;

    // Interaction
    View onTapGesture(std::function<void()> action) const;
    View onHover(std::function<void(bool)> action) const;
    View onContinuousHover(std::function<void(HoverPhase)> action) const;
    View onScrollWheel(std::function<void(ScrollDelta)> action) const;
    // Keys reach the handler while its view has the host's focus; true = handled.
    View onKeyPress(std::function<bool(const KeyPress&)> action) const;
    View focusable(bool focusable = true) const;
    // Read-only text the user can select: a click selects all of it, Ctrl+C copies.
    View textSelection(bool enabled) const;
    View help(std::string text) const;
    View cursor(CursorShape shape) const;
    View contentShape(const Shape& shape) const;
    View allowsHitTesting(bool enabled) const;

    // Accessibility
    View accessibilityIdentifier(std::string identifier) const;
    View accessibilityLabel(std::string label) const;
    View accessibilityValue(std::string value) const;
    View accessibilityHint(std::string hint) const;
    View accessibilityElement(AccessibilityChildBehavior children) const;
    View accessibilityHidden(bool hidden = true) const;
    View accessibilityAddTraits(AccessibilityTrait trait) const;
    // A named action assistive technology can perform on the element.
    View accessibilityAction(std::string name, std::function<void()> action) const;

    // Life cycle (Lifecycle.h): handlers run after the build that saw the
    // view come, go or change, never inside it.
    View onAppear(std::function<void()> action) const;
    View onDisappear(std::function<void()> action) const;
    // `action` gets (old, new), (new) or nothing; never called for the value
    // the view first appears with.
    template <class V, class F>
    View onChange(V value, F action) const;
    // Work bound to the view's life: started when it appears, cancelled when it
    // goes; with an id, cancelled and started again whenever the id changes.
    View task(std::function<void(const ViewTask&)> work) const;
    View task(std::string id, std::function<void(const ViewTask&)> work) const;

    // Preferences: a value published up the tree after layout, combined by
    // the key's `reduce(Value&, Value)`, read by an ancestor's handler.
    template <class Key>
    View preference(typename Key::Value value) const;
    template <class Key>
    View onPreferenceChange(std::function<void(const typename Key::Value&)> action) const;

    // Anything else: a function from view to view.
    View modifier(const std::function<View(const View&)>& apply) const { return apply(*this); }

private:
    std::shared_ptr<const Node> node_;
};

using ViewList = std::vector<View>;

// ---------------------------------------------------------------------------
// Structure

View EmptyView();
View Group(ViewList children);
// Content with a distinct identity per branch, as `if`/`else` in a body.
View ViewIf(bool condition, View then, View otherwise = EmptyView());

// One view per item, each identified by the key `idOf` gives. Views are made
// when a container asks for them: a stack makes them all, a lazy stack or
// grid only those of the rows it shows.
template <class Item>
View ForEach(std::vector<Item> items, std::function<std::string(const Item&)> idOf,
             std::function<View(const Item&)> content);
View ForEachIdentified(std::vector<std::pair<std::string, View>> identified);
// The same over indices 0..<count, for data the closures hold themselves.
View ForEachIndex(size_t count, std::function<std::string(size_t)> idOf, std::function<View(size_t)> content);

// Stacks and spacers. A missing spacing takes the default (8 points).
View VStack(HorizontalAlignment alignment, std::optional<double> spacing, ViewList children);
View VStack(ViewList children);
View HStack(VerticalAlignment alignment, std::optional<double> spacing, ViewList children);
View HStack(ViewList children);
View ZStack(Alignment alignment, ViewList children);
View ZStack(ViewList children);
View Spacer(std::optional<double> minLength = std::nullopt);
View Divider();

struct GeometryProxy {
    Size size;
    Rect frameInRoot;  // the reader's frame in the host's coordinates
};
View GeometryReader(std::function<View(const GeometryProxy&)> content);

// The first candidate whose ideal size fits the offered size on `axes`;
// the last candidate when none fits.
View ViewThatFits(Axes axes, ViewList candidates);
View ViewThatFits(ViewList candidates);

// Reads the environment while building.
View EnvironmentReader(std::function<View(const EnvironmentValues&)> content);

inline constexpr double defaultSpacing = 8;
inline constexpr double defaultPadding = 16;

// ---------------------------------------------------------------------------
// The node interface, for views written inside the layer (and part 2).

// An element's children: most elements (modifiers) have exactly one, kept
// inline, so building a tree allocates no child array for them.
class ElementList {
public:
    using value_type = std::unique_ptr<Element>;
    using iterator = value_type*;
    using const_iterator = const value_type*;
    ElementList() = default;
    ElementList(const ElementList&) = delete;
    ElementList& operator=(const ElementList&) = delete;
    ~ElementList()
    {
        clear();
        releaseHeap();
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    iterator begin() { return data(); }
    iterator end() { return data() + size_; }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size_; }
    value_type& operator[](size_t i) { return data()[i]; }
    const value_type& operator[](size_t i) const { return data()[i]; }
    value_type& front() { return data()[0]; }
    const value_type& front() const { return data()[0]; }
    value_type& back() { return data()[size_ - 1]; }

    void reserve(size_t n)
    {
        if (n <= capacity()) return;
        auto* grown = static_cast<value_type*>(detail::nodeAllocate(n * sizeof(value_type)));
        for (size_t i = 0; i < n; ++i) new (grown + i) value_type();
        for (size_t i = 0; i < size_; ++i) grown[i] = std::move(data()[i]);
        releaseHeap();
        heap_ = grown;
        heapCapacity_ = n;
    }
    void push_back(value_type e)
    {
        if (size_ == capacity()) reserve(std::max<size_t>(4, capacity() * 2));
        data()[size_++] = std::move(e);
    }
    void clear()
    {
        // Children go last to first, as a vector's do not promise but trees don't mind.
        for (size_t i = size_; i > 0; --i) data()[i - 1].reset();
        size_ = 0;
    }

private:
    size_t capacity() const { return heap_ ? heapCapacity_ : 1; }
    value_type* data() { return heap_ ? heap_ : &inline_; }
    const value_type* data() const { return heap_ ? heap_ : &inline_; }
    void releaseHeap()
    {
        if (!heap_) return;
        for (size_t i = 0; i < heapCapacity_; ++i) heap_[i].~value_type();
        detail::nodeDeallocate(heap_, heapCapacity_ * sizeof(value_type));
        heap_ = nullptr;
    }

    value_type* heap_ = nullptr;
    value_type inline_;
    unsigned size_ = 0;
    unsigned heapCapacity_ = 0;
};

// A node's instance in one build of the tree: its environment, identity,
// children and, after layout, its frame in the host's coordinates.
class Element {
public:
    std::shared_ptr<const Node> node;
    ElementList children;
    Element* parent = nullptr;
    EnvironmentPtr env;
    std::string key;  // this element's part of the identity path

    Rect frame;           // after layout, in root layout coordinates
    bool placed = false;  // false for elements that layout left out (an unchosen candidate)
    bool measuresAsContent = false;  // the node's, noted when built
    // The proposal under which the parent chose this element's size. Placing
    // children under the proposals that measured them reuses those results.
    ProposedSize proposal;
    // What its drawing can cover (frame, overflowing children, shadows,
    // transforms), so painting skips subtrees outside the visible area.
    Rect ink;

    // Traits a stack reads from its children; modifiers pass their child's up.
    double layoutPriorityTrait = 0;
    double zIndexTrait = 0;
    std::optional<Axis> stackAxis;  // the axis of the stack holding this element

    // Per-node layout data; painting may fill it late (text lines are laid
    // out only for text that is drawn).
    mutable std::any scratch;
    // The host this element asked for a frame of its own, told when it goes.
    BuildContext* frameHost = nullptr;

    Element() = default;
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    ~Element();

    Size sizeThatFits(ProposedSize proposal, LayoutContext& ctx);
    // Under the proposal that measured the element at the frame's size, or
    // the frame's size as a firm offer when it was never measured so.
    void place(Rect frame, LayoutContext& ctx);
    void place(Rect frame, ProposedSize proposal, LayoutContext& ctx);
    // Works the ink out again from the children's.
    void updateInk();
    // The proposals the parent asked in the latest layout and the answers,
    // none when more were asked than are kept.
    std::optional<std::vector<std::pair<ProposedSize, Size>>> measurements() const;
    std::optional<double> firstBaseline(Size size, LayoutContext& ctx);
    std::optional<double> lastBaseline(Size size, LayoutContext& ctx);
    void paint(PaintContext& pc) const;

    Element* child(size_t i) const { return i < children.size() ? children[i].get() : nullptr; }
    // The view's identity: the path of keys from the root (explicit ids
    // and positions), the same for the same view across rebuilds.
    std::string identity() const;

    // Elements are made and dropped by the thousand on every rebuild; they
    // come from a pool of same-sized blocks rather than the general heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* p, std::size_t size);

private:
    // The element whose measurements stand for this one's.
    const Element& measured() const;
    // A proposal packed into the bits of its two dimensions (see View.cpp).
    struct CacheEntry {
        std::uint64_t width, height;
        Size size;
    };
    unsigned cachePass_ = 0;
    unsigned cacheCount_ = 0;
    static constexpr unsigned kCache = 8;
    CacheEntry cache_[kCache];
};

class Node {
public:
    virtual ~Node() = default;

    // Creates the element's children.
    virtual void build(Element& self, BuildContext& ctx) const;
    // A container's children list may be expanded by a child (groups,
    // ForEach, empty views). Default: the view itself.
    virtual void flatten(const View& self, std::vector<std::pair<std::string, View>>& out, const std::string& key) const;
    // Whether `flatten` gives anything but the view itself (groups, ForEach,
    // conditionals, empty views); containers add plain children directly.
    virtual bool expands() const { return false; }
    virtual Size sizeThatFits(Element& self, ProposedSize proposal, LayoutContext& ctx) const;
    virtual void place(Element& self, Rect frame, LayoutContext& ctx) const;
    virtual std::optional<double> firstBaseline(Element& self, Size size, LayoutContext& ctx) const;
    virtual std::optional<double> lastBaseline(Element& self, Size size, LayoutContext& ctx) const;
    virtual void paint(const Element& self, PaintContext& pc) const;
    // The transform this node applies to its children's painting and hit-testing.
    virtual bool transform(const Element& self, QTransform& out) const;
    // The area its drawing covers, given its children's (in the coordinates
    // they are drawn in). Default: its frame and the children's area, through
    // its transform.
    virtual Rect inkBounds(const Element& self, const std::optional<Rect>& children) const;

    // Sizes exactly as its first child under the same proposal (the default
    // `sizeThatFits`): such an element keeps no measurements of its own.
    virtual bool measuresAsContent() const { return false; }

    virtual bool isSpacer() const { return false; }
    virtual std::optional<double> spacerMinLength() const { return std::nullopt; }
};

// A run of identified views: a container takes it whole (`flatten`) or, being
// lazy, one item at a time.
class SequenceNode : public Node {
public:
    virtual size_t count() const = 0;
    virtual std::string id(size_t i) const = 0;
    virtual View view(size_t i) const = 0;
    // Repeated ids get an occurrence number, so two items never share state.
    void flatten(const View& self, std::vector<std::pair<std::string, View>>& out, const std::string& key) const override;
    bool expands() const override { return true; }
    void build(Element& self, BuildContext& ctx) const override;
    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext& ctx) const override;
};

// Adds the children of a container keyed by position (a child that expands
// adds its flattened children), setting their stack axis when given.
void addContainerChildren(Element& self, BuildContext& ctx, const ViewList& children, std::optional<Axis> axis = std::nullopt);

namespace detail {
template <class Item>
class ItemSequence final : public SequenceNode {
public:
    ItemSequence(std::vector<Item> items, std::function<std::string(const Item&)> idOf, std::function<View(const Item&)> content)
        : items_(std::move(items)), idOf_(std::move(idOf)), content_(std::move(content)) {}
    size_t count() const override { return items_.size(); }
    std::string id(size_t i) const override { return idOf_ ? idOf_(items_[i]) : std::to_string(i); }
    View view(size_t i) const override { return content_ ? content_(items_[i]) : View(); }

private:
    std::vector<Item> items_;
    std::function<std::string(const Item&)> idOf_;
    std::function<View(const Item&)> content_;
};
}  // namespace detail

// Building: turns views into elements, under environments and identities.
class BuildContext {
public:
    virtual ~BuildContext() = default;
    // Adds a child element for `view` under `parent` with identity component `key`.
    Element& addChild(Element& parent, const View& view, const std::string& key, EnvironmentPtr env = nullptr);
    // The host's per-identity state slot, created by `make` on first use.
    virtual std::shared_ptr<void> stateSlot(const std::string& identity, const std::function<std::shared_ptr<void>()>& make) = 0;
    virtual void requestRebuild() = 0;
    // The host's clock, seconds.
    virtual double now() const = 0;
    // Asks for another frame after `seconds` (a timeline's next tick).
    virtual void requestFrame(double seconds) = 0;
    // The same, for a frame that only `reader`'s subtree needs: it alone reads
    // the time, so that frame rebuilds it alone.
    virtual void requestFrame(double seconds, Element& reader)
    {
        (void)reader;
        requestFrame(seconds);
    }
    // An element that asked for a frame of its own is going.
    virtual void forgetFrameReader(const Element& reader) { (void)reader; }
    // Runs `f` once the build, layout and preference pass under way are over.
    virtual void afterBuild(std::function<void()> f) { if (f) f(); }
    // Notes the view at `identity` as built now; true when it was not built
    // the time before. `gone` runs after the first build without it.
    virtual bool markPresent(const std::string& identity, std::function<void()> gone)
    {
        (void)identity;
        (void)gone;
        return false;
    }
    // Keeps state slots under `identityPrefix` through this build even when
    // their views were not built (rows a lazy container scrolled away).
    virtual void retainState(const std::string& identityPrefix) { (void)identityPrefix; }

    // Preference handlers built so far; with none, nothing is collected after layout.
    unsigned preferenceHandlers = 0;
};

// Layout pass: a counter that invalidates measurement caches, and access to
// the builder for content that depends on its size (GeometryReader).
class LayoutContext {
public:
    explicit LayoutContext(BuildContext* builder, unsigned pass) : builder_(builder), pass_(pass) {}
    BuildContext* builder() const { return builder_; }
    unsigned pass() const { return pass_; }

private:
    BuildContext* builder_;
    unsigned pass_;
};

struct PaintContext {
    QPainter* painter = nullptr;
    double displayScale = 1;
};

// Works out `ink` again for a placed tree, bottom-up (placing does it as it goes).
void computeInk(Element& root);

// Builds a full element tree for `root` with identity "".
std::unique_ptr<Element> buildElementTree(const View& root, EnvironmentPtr env, BuildContext& ctx);

// A modifier node with one child, the usual base of modifiers.
class ModifierNode : public Node {
public:
    explicit ModifierNode(View content) : content_(std::move(content)) {}
    const View& content() const { return content_; }
    void build(Element& self, BuildContext& ctx) const override;
    // The environment the child is built under; default: unchanged.
    virtual EnvironmentPtr childEnvironment(const Element& self) const { return self.env; }

protected:
    View content_;
};

// ---------------------------------------------------------------------------
// Preferences (templates)

class PreferenceNodeBase : public ModifierNode {
public:
    using ModifierNode::ModifierNode;
    virtual std::type_index key() const = 0;
    // Combines this node's value into `acc` (created when empty).
    virtual void contribute(std::any& acc) const = 0;
};

class PreferenceHandlerBase : public ModifierNode {
public:
    using ModifierNode::ModifierNode;
    void build(Element& self, BuildContext& ctx) const override
    {
        ++ctx.preferenceHandlers;
        ModifierNode::build(self, ctx);
    }
    virtual std::type_index key() const = 0;
    virtual std::any defaultValue() const = 0;
    virtual bool equal(const std::any& a, const std::any& b) const = 0;
    virtual void call(const std::any& value) const = 0;
};

template <class Key>
class PreferenceNode final : public PreferenceNodeBase {
public:
    PreferenceNode(View content, typename Key::Value v) : PreferenceNodeBase(std::move(content)), value_(std::move(v)) {}
    std::type_index key() const override { return typeid(Key); }
    void contribute(std::any& acc) const override
    {
        if (!acc.has_value())
            acc = Key::defaultValue();
        Key::reduce(*std::any_cast<typename Key::Value>(&acc), value_);
    }

private:
    typename Key::Value value_;
};

template <class Key>
class PreferenceHandlerNode final : public PreferenceHandlerBase {
public:
    PreferenceHandlerNode(View content, std::function<void(const typename Key::Value&)> f)
        : PreferenceHandlerBase(std::move(content)), f_(std::move(f)) {}
    std::type_index key() const override { return typeid(Key); }
    std::any defaultValue() const override { return Key::defaultValue(); }
    bool equal(const std::any& a, const std::any& b) const override
    {
        return std::any_cast<const typename Key::Value&>(a) == std::any_cast<const typename Key::Value&>(b);
    }
    void call(const std::any& value) const override
    {
        if (f_) f_(std::any_cast<const typename Key::Value&>(value));
    }

private:
    std::function<void(const typename Key::Value&)> f_;
};

template <class Key>
View View::preference(typename Key::Value value) const
{
    return View(detail::makeNode<PreferenceNode<Key>>(*this, std::move(value)));
}

template <class Key>
View View::onPreferenceChange(std::function<void(const typename Key::Value&)> action) const
{
    return View(detail::makeNode<PreferenceHandlerNode<Key>>(*this, std::move(action)));
}

template <class V, class F>
View View::onChange(V value, F action) const
{
    auto call = [action](const std::any& before, const std::any& now) {
        const V& a = std::any_cast<const V&>(before);
        const V& b = std::any_cast<const V&>(now);
        if constexpr (std::is_invocable_v<F, const V&, const V&>) action(a, b);
        else if constexpr (std::is_invocable_v<F, const V&>) action(b);
        else action();
    };
    auto equal = [](const std::any& a, const std::any& b) { return std::any_cast<const V&>(a) == std::any_cast<const V&>(b); };
    return detail::onChangeView(*this, std::any(std::move(value)), equal, call);
}

template <class Item>
View ForEach(std::vector<Item> items, std::function<std::string(const Item&)> idOf,
             std::function<View(const Item&)> content)
{
    return View(std::make_shared<detail::ItemSequence<Item>>(std::move(items), std::move(idOf), std::move(content)));
}

}  // namespace platform::ui
