#pragma once

// A one-line text field bound to a string. A click gives it the keys;
// typing inserts at the caret (replacing a selection), the arrows move the
// caret (with Shift they extend the selection), Ctrl+A selects all,
// Ctrl+C/X/V copy, cut and paste, Return submits. A limit counts
// user-visible characters: typing or pasting past it keeps what fits.

#include "ui/State.h"

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

struct TextFieldOptions {
    std::optional<size_t> limit;       // characters
    std::function<void()> onSubmit;    // Return
    // The field's focus as state: written when the field gains or loses the
    // keys (a click, a click elsewhere), read to give it the keys or take
    // them away.
    std::optional<Binding<bool>> focused;
    // A field that wraps and grows downwards from `minimum` to `maximum`
    // lines, scrolling its lines past that; none: one line.
    std::optional<std::pair<int, int>> lines;
};

// Lines as a wrapping layout produced them, as ranges of characters
// [start, end); characters the layout dropped at a break (a space) belong
// to no line (pure).
struct WrappedLine {
    size_t start = 0, end = 0;
};
std::vector<WrappedLine> wrappedLineRanges(const std::vector<std::string>& characters, const std::vector<QString>& lines);
// The line a caret at `caret` is drawn on: the last line starting at or before it (pure).
size_t lineOfCaret(const std::vector<WrappedLine>& lines, size_t caret);
// Up or Down among wrapped lines: the same column on the adjacent line (or
// its end when shorter); from the first line up is the start, from the last
// line down the end (pure).
size_t caretOnAdjacentLine(const std::vector<WrappedLine>& lines, size_t caret, bool down);

View TextField(std::string placeholder, Binding<std::string> text, TextFieldOptions options = {});

// The editing model, pure: text as characters, caret and selection anchor.
struct TextEditState {
    std::string text;
    size_t caret = 0;   // in characters
    size_t anchor = 0;  // selection from min(anchor, caret) to max(...)

    bool hasSelection() const { return anchor != caret; }
    std::string selectedText() const;
};

enum class TextEditResult { ignored, handled, submit, copy, cut, paste };

// Applies a key press to `state`; `pasted` is the clipboard text for a paste.
// Returns what happened so the field can reach the clipboard or submit.
TextEditResult applyTextKey(TextEditState& state, int key, const std::string& text, unsigned modifiers,
                            std::optional<size_t> limit, const std::string& pasted = {});

// The caret index whose boundary x (`stops`, one per boundary) is nearest `x` (pure).
size_t caretIndexAt(const std::vector<double>& stops, double x);
// The shift that keeps a caret at `caretX` inside a line `width` wide, moving
// as little as possible from `scroll` (pure).
double scrollToShow(double caretX, double textWidth, double width, double scroll);

// Inserts `text` at the caret (replacing the selection), keeping to `limit`.
void insertText(TextEditState& state, const std::string& text, std::optional<size_t> limit);

}  // namespace platform::ui
