#include "ui/TextField.h"

#include "ui/Button.h"
#include "ui/Characters.h"
#include "ui/Modifiers.h"
#include "ui/Shape.h"
#include "ui/Text.h"
#include "ui/TextLayout.h"
#include "ui/ViewHost.h"

#include <QClipboard>
#include <QGuiApplication>
#include <Qt>
#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

std::string join(const std::vector<std::string>& chars, size_t from, size_t to)
{
    std::string out;
    for (size_t i = from; i < to && i < chars.size(); ++i) out += chars[i];
    return out;
}

bool printable(const std::string& text)
{
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace

std::string TextEditState::selectedText() const
{
    const auto chars = splitCharacters(text);
    return join(chars, std::min(anchor, caret), std::max(anchor, caret));
}

void insertText(TextEditState& s, const std::string& inserted, std::optional<size_t> limit)
{
    auto chars = splitCharacters(s.text);
    s.caret = std::min(s.caret, chars.size());
    s.anchor = std::min(s.anchor, chars.size());
    const size_t from = std::min(s.anchor, s.caret), to = std::max(s.anchor, s.caret);
    // One line: line breaks and tabs in pasted text become spaces.
    std::string clean = inserted;
    for (char& c : clean)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    auto add = splitCharacters(clean);
    const size_t kept = chars.size() - (to - from);
    if (limit) add.resize(std::min(add.size(), *limit > kept ? *limit - kept : 0));
    std::vector<std::string> out(chars.begin(), chars.begin() + from);
    out.insert(out.end(), add.begin(), add.end());
    out.insert(out.end(), chars.begin() + to, chars.end());
    s.text = join(out, 0, out.size());
    // Joining characters can merge at the seams (an accent after a letter); recount.
    const size_t total = characterCount(s.text);
    s.caret = s.anchor = std::min(from + add.size(), total);
}

TextEditResult applyTextKey(TextEditState& s, int key, const std::string& text, unsigned mods, std::optional<size_t> limit,
                            const std::string& pasted)
{
    const size_t count = characterCount(s.text);
    s.caret = std::min(s.caret, count);
    s.anchor = std::min(s.anchor, count);
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & (Qt::ControlModifier | Qt::MetaModifier);
    auto moveTo = [&](size_t pos) {
        s.caret = pos;
        if (!shift) s.anchor = pos;
    };
    if (ctrl) {
        switch (key) {
        case Qt::Key_A: s.anchor = 0; s.caret = count; return TextEditResult::handled;
        case Qt::Key_C: return s.hasSelection() ? TextEditResult::copy : TextEditResult::handled;
        case Qt::Key_X:
            if (!s.hasSelection()) return TextEditResult::handled;
            insertText(s, "", limit);
            return TextEditResult::cut;
        case Qt::Key_V: insertText(s, pasted, limit); return TextEditResult::paste;
        default: return TextEditResult::ignored;  // shortcuts of the window
        }
    }
    switch (key) {
    case Qt::Key_Left:
        if (s.hasSelection() && !shift) moveTo(std::min(s.anchor, s.caret));
        else moveTo(s.caret > 0 ? s.caret - 1 : 0);
        return TextEditResult::handled;
    case Qt::Key_Right:
        if (s.hasSelection() && !shift) moveTo(std::max(s.anchor, s.caret));
        else moveTo(std::min(count, s.caret + 1));
        return TextEditResult::handled;
    // One line: Up and Home go to the start, Down and End to the end.
    case Qt::Key_Up:
    case Qt::Key_Home: moveTo(0); return TextEditResult::handled;
    case Qt::Key_Down:
    case Qt::Key_End: moveTo(count); return TextEditResult::handled;
    case Qt::Key_Backspace:
        if (!s.hasSelection() && s.caret > 0) s.anchor = s.caret - 1;
        insertText(s, "", limit);
        return TextEditResult::handled;
    case Qt::Key_Delete:
        if (!s.hasSelection() && s.caret < count) s.anchor = s.caret + 1;
        insertText(s, "", limit);
        return TextEditResult::handled;
    case Qt::Key_Return:
    case Qt::Key_Enter: return TextEditResult::submit;
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return TextEditResult::ignored;
    default: break;
    }
    if (printable(text)) {
        insertText(s, text, limit);
        return TextEditResult::handled;
    }
    return TextEditResult::ignored;
}

size_t caretIndexAt(const std::vector<double>& stops, double x)
{
    size_t best = 0;
    for (size_t i = 1; i < stops.size(); ++i)
        if (std::abs(stops[i] - x) < std::abs(stops[best] - x)) best = i;
    return best;
}

double scrollToShow(double caretX, double textWidth, double width, double scroll)
{
    const double room = std::max(1.0, width - 2);  // the caret's own width stays inside
    if (caretX - scroll > room) scroll = caretX - room;
    if (caretX - scroll < 0) scroll = caretX;
    return std::clamp(scroll, 0.0, std::max(0.0, textWidth - room));
}

std::vector<WrappedLine> wrappedLineRanges(const std::vector<std::string>& chars, const std::vector<QString>& lines)
{
    std::vector<WrappedLine> out;
    size_t i = 0;
    for (const QString& line : lines) {
        // Skip what the layout dropped between lines (spaces at a break).
        auto isSpace = [&](size_t k) { return QString::fromStdString(chars[k]).trimmed().isEmpty(); };
        if (!line.isEmpty() && !line.front().isSpace())
            while (i < chars.size() && isSpace(i)) ++i;
        WrappedLine w{i, i};
        qsizetype taken = 0;
        while (w.end < chars.size() && taken < line.size()) {
            taken += QString::fromStdString(chars[w.end]).size();
            ++w.end;
        }
        out.push_back(w);
        i = w.end;
    }
    if (out.empty()) out.push_back({0, chars.size()});
    // Characters left over (dropped trailing spaces) stay with the last line.
    out.back().end = std::max(out.back().end, chars.size());
    return out;
}

size_t caretOnAdjacentLine(const std::vector<WrappedLine>& lines, size_t caret, bool down)
{
    if (lines.empty()) return caret;
    const size_t line = lineOfCaret(lines, caret);
    if (!down && line == 0) return 0;
    if (down && line + 1 >= lines.size()) return lines.back().end;
    const size_t column = caret - lines[line].start;
    const WrappedLine& target = lines[down ? line + 1 : line - 1];
    return std::min(target.start + column, target.end);
}

size_t lineOfCaret(const std::vector<WrappedLine>& lines, size_t caret)
{
    size_t line = 0;
    for (size_t l = 0; l < lines.size(); ++l)
        if (lines[l].start <= caret) line = l;
    return line;
}

namespace {

struct FieldState {
    size_t caret = 0, anchor = 0;
    bool placed = false;
    double scroll = 0;     // how far long text is shifted left to keep the caret in view
    double pointerX = -1;  // the pointer over the field, from its leading edge
    bool hadFocus = false;
    double pointerY = -1;
    std::vector<WrappedLine> wrapped;  // multi-line fields: the last layout's lines
    size_t topLine = 0;
};

// The lines of a wrapping field, laid out when its width is known.
class WrappedFieldNode final : public Node {
public:
    struct Parts {
        std::vector<std::string> chars;
        std::string placeholder;
        bool focused = false;
        int minLines = 1, maxLines = 1;
        std::shared_ptr<FieldState> state;
    };
    explicit WrappedFieldNode(Parts parts) : parts_(std::move(parts)) {}

    Size sizeThatFits(Element& self, ProposedSize p, LayoutContext&) const override
    {
        const ResolvedFont& font = resolveFont(self.env->font);
        const double width = p.width && std::isfinite(*p.width) ? *p.width : 180;
        const size_t n = layout(font, width).lines.size();
        return {width, font.lineHeight * std::clamp<double>(double(n), parts_.minLines, parts_.maxLines)};
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        self.children.clear();
        if (!ctx.builder()) return;
        const ResolvedFont& font = resolveFont(self.env->font);
        FieldState& st = *parts_.state;
        const TextLines lines = layout(font, frame.width);
        st.wrapped = wrappedLineRanges(parts_.chars, lines.lines);
        const double lh = font.lineHeight;
        const size_t visible = size_t(std::max(1.0, std::floor(frame.height / lh + 1e-6)));
        const size_t caretLine = lineOfCaret(st.wrapped, st.caret);
        if (caretLine < st.topLine) st.topLine = caretLine;
        if (caretLine >= st.topLine + visible) st.topLine = caretLine + 1 - visible;
        st.topLine = std::min(st.topLine, st.wrapped.size() > visible ? st.wrapped.size() - visible : 0);
        auto xIn = [&](const WrappedLine& l, size_t i) {
            return font.advance(QString::fromStdString(join(parts_.chars, l.start, std::clamp(i, l.start, l.end))));
        };
        ViewList layers;
        const size_t selFrom = std::min(st.caret, st.anchor), selTo = std::max(st.caret, st.anchor);
        for (size_t l = 0; l < st.wrapped.size(); ++l) {
            const WrappedLine& w = st.wrapped[l];
            const double y = (double(l) - double(st.topLine)) * lh;
            if (parts_.focused && selFrom != selTo && selFrom < w.end && selTo > w.start) {
                const double a = xIn(w, std::max(selFrom, w.start)), b = xIn(w, std::min(selTo, w.end));
                layers.push_back(Rectangle().fill(accentColor().opacity(0.3)).frame(std::max(1.0, b - a), lh).offset(a, y));
            }
            layers.push_back(Text(join(parts_.chars, w.start, w.end)).lineLimit(1).fixedSize().offset(0, y));
        }
        if (parts_.chars.empty())
            layers.push_back(Text(parts_.placeholder).foregroundStyle(ShapeStyle::tertiary()).lineLimit(1).accessibilityHidden(true));
        if (parts_.focused && !st.wrapped.empty())
            layers.push_back(Rectangle().fill(ShapeStyle::primary()).frame(1, lh)
                                 .offset(xIn(st.wrapped[caretLine], st.caret), (double(caretLine) - double(st.topLine)) * lh));
        Element& child = ctx.builder()->addChild(self, ZStack(Alignment::topLeading, layers).frame(frame.width, frame.height, Alignment::topLeading), ".w");
        child.sizeThatFits(ProposedSize::of(frame.size()), ctx);
        child.place(frame, ctx);
    }

private:
    TextLines layout(const ResolvedFont& font, double width) const
    {
        TextLayoutRequest r;
        r.text = QString::fromStdString(join(parts_.chars, 0, parts_.chars.size()));
        r.maxWidth = std::max(1.0, width - 2);  // room for the caret
        r.lineHeight = font.lineHeight;
        return layoutText(r, [&font](const QString& s) { return font.advance(s); });
    }

    Parts parts_;
};

constexpr double fieldInset = 6;

class TextFieldNode final : public Node {
public:
    TextFieldNode(std::string placeholder, Binding<std::string> text, TextFieldOptions options)
        : placeholder_(std::move(placeholder)), text_(std::move(text)), options_(std::move(options)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        auto st = std::static_pointer_cast<FieldState>(
            ctx.stateSlot(self.identity() + "#field", [] { return std::static_pointer_cast<void>(std::make_shared<FieldState>()); }));
        const std::string value = text_.get();
        const auto chars = splitCharacters(value);
        if (!st->placed) {
            st->caret = st->anchor = chars.size();
            st->placed = true;
        }
        st->caret = std::min(st->caret, chars.size());
        st->anchor = std::min(st->anchor, chars.size());
        auto* host = dynamic_cast<ViewHost*>(&ctx);
        const EnvironmentValues& env = *self.env;
        // The focusable node's identity, fixed by the structure below.
        const std::string focusIdentity = self.identity() + "/f.";
        bool focused = host && host->focus() == focusIdentity;
        if (host && options_.focused) {
            const Binding<bool>& wanted = *options_.focused;
            if (focused != st->hadFocus) {
                wanted.set(focused);  // the user moved the keys
            } else if (wanted.get() != focused && env.isEnabled) {
                // The owner moved them.
                host->setFocus(wanted.get() ? focusIdentity : std::string());
                focused = wanted.get();
            }
        }
        st->hadFocus = focused;
        const ResolvedFont& font = resolveFont(env.font);
        std::vector<double> stops;
        stops.reserve(chars.size() + 1);
        for (size_t i = 0; i <= chars.size(); ++i) stops.push_back(font.advance(QString::fromStdString(join(chars, 0, i))));
        auto xAt = [&](size_t i) { return stops[std::min(i, stops.size() - 1)]; };

        ViewList layers;
        if (focused && st->caret != st->anchor) {
            const double a = xAt(std::min(st->caret, st->anchor)), b = xAt(std::max(st->caret, st->anchor));
            layers.push_back(Rectangle().fill(accentColor().opacity(0.3)).frame(b - a, font.lineHeight).offset(a, 0));
        }
        if (value.empty())
            layers.push_back(Text(placeholder_).foregroundStyle(ShapeStyle::tertiary()).lineLimit(1).accessibilityHidden(true));
        else
            layers.push_back(Text(value).lineLimit(1).fixedSize(true, false));
        if (focused)
            layers.push_back(Rectangle().fill(ShapeStyle::primary()).frame(1, font.lineHeight).offset(xAt(st->caret), 0));

        const Color border = focused ? accentColor() : Color::dynamic(Color::white(0, 0.18), Color::white(1, 0.2));
        const double caretX = xAt(st->caret), textWidth = stops.back(), lineHeight = font.lineHeight;
        View line = options_.lines
                        ? View(detail::makeNode<WrappedFieldNode>(WrappedFieldNode::Parts{
                              chars, placeholder_, focused, std::max(1, options_.lines->first),
                              std::max(std::max(1, options_.lines->first), options_.lines->second), st}))
                        : GeometryReader([layers, st, caretX, textWidth](const GeometryProxy& g) {
                              st->scroll = scrollToShow(caretX, textWidth, g.size.width, st->scroll);
                              return ZStack(Alignment::leading, layers).frame(g.size.width, std::nullopt, Alignment::leading).offset(-st->scroll, 0);
                          }).frame(std::nullopt, lineHeight);
        View field = line
                         .frame(FrameSpec{.minWidth = 40, .idealWidth = 180, .maxWidth = infinity, .alignment = Alignment::leading})
                         .padding(EdgeInsets{3, fieldInset, 3, fieldInset})
                         .frame(FrameSpec{.minHeight = 22})
                         .clipped()
                         .background(RoundedRectangle(5).fill(Color::dynamic(Color::white(), Color::white(1, 0.06))))
                         .overlay(RoundedRectangle(5).strokeBorder(border, focused ? 2 : 1).allowsHitTesting(false))
                         .opacity(env.isEnabled ? 1 : 0.5)
                         .cursor(CursorShape::iBeam)
                         .accessibilityElement(AccessibilityChildBehavior::combine)
                         .accessibilityLabel(placeholder_)
                         .accessibilityValue(value);

        auto binding = text_;
        auto options = options_;
        const bool enabled = env.isEnabled;
        BuildContext* builder = &ctx;
        // A click puts the caret at the nearest character boundary.
        View clickable = field.onContinuousHover([st](HoverPhase phase) {
                                  if (phase.kind != HoverPhaseKind::active) return;
                                  st->pointerX = phase.location.x;
                                  st->pointerY = phase.location.y;
                              })
                             .onTapGesture([st, stops, builder, chars, multiLine = bool(options_.lines), lineHeight, fontSpec = env.font] {
                                 const ResolvedFont& font = resolveFont(fontSpec);
                                 if (st->pointerX < 0) return;
                                 if (multiLine && !st->wrapped.empty()) {
                                     // The line under the pointer, then the boundary nearest it on that line.
                                     const double row = std::floor((st->pointerY - 3) / lineHeight) + double(st->topLine);
                                     const WrappedLine& w = st->wrapped[size_t(std::clamp(row, 0.0, double(st->wrapped.size() - 1)))];
                                     std::vector<double> lineStops;
                                     for (size_t i = w.start; i <= w.end; ++i) lineStops.push_back(font.advance(QString::fromStdString(join(chars, w.start, i))));
                                     st->caret = st->anchor = w.start + caretIndexAt(lineStops, st->pointerX - fieldInset);
                                 } else {
                                     st->caret = st->anchor = caretIndexAt(stops, st->pointerX - fieldInset + st->scroll);
                                 }
                                 builder->requestRebuild();
                             });
        View editable = clickable.focusable(enabled).onKeyPress([st, binding, options, enabled, builder, host, focusIdentity](const KeyPress& k) {
            // The host offers keys to every handler when nothing has focus; a field takes them only with it.
            if (!enabled || !host || host->focus() != focusIdentity) return false;
            TextEditState s{binding.get(), st->caret, st->anchor};
            const bool vertical = k.key == Qt::Key_Up || k.key == Qt::Key_Down;
            if (vertical && options.lines && !st->wrapped.empty() && !(k.modifiers & (Qt::ControlModifier | Qt::MetaModifier))) {
                // Wrapped lines: the same column on the line above or below.
                st->caret = caretOnAdjacentLine(st->wrapped, st->caret, k.key == Qt::Key_Down);
                if (!(k.modifiers & Qt::ShiftModifier)) st->anchor = st->caret;
                builder->requestRebuild();
                return true;
            }
            const bool paste = (k.modifiers & (Qt::ControlModifier | Qt::MetaModifier)) && k.key == Qt::Key_V;
            std::string pasted;
            if (paste && QGuiApplication::clipboard()) pasted = QGuiApplication::clipboard()->text().toStdString();
            const std::string selected = s.selectedText();
            const TextEditResult r = applyTextKey(s, k.key, k.text, k.modifiers, options.limit, pasted);
            if (r == TextEditResult::ignored) return false;
            if ((r == TextEditResult::copy || r == TextEditResult::cut) && QGuiApplication::clipboard())
                QGuiApplication::clipboard()->setText(QString::fromStdString(selected));
            st->caret = s.caret;
            st->anchor = s.anchor;
            if (s.text != binding.get()) binding.set(s.text);
            builder->requestRebuild();  // caret and selection
            if (r == TextEditResult::submit && options.onSubmit) options.onSubmit();
            return true;
        });
        ctx.addChild(self, editable, "f");
    }

private:
    std::string placeholder_;
    Binding<std::string> text_;
    TextFieldOptions options_;
};

}  // namespace

View TextField(std::string placeholder, Binding<std::string> text, TextFieldOptions options)
{
    return View(detail::makeNode<TextFieldNode>(std::move(placeholder), std::move(text), std::move(options)));
}

}  // namespace platform::ui
