#pragma once

// Sheets: modal content over the window, centred and sized by the content
// (within its frame bounds and the window). A sheet exists while its binding
// is true; closing it goes through the binding, so the owner always decides:
// the environment's dismiss action and Escape are refused while the owner's
// `canClose` says no, and with `onCancel` set Escape asks the owner to
// cancel instead of closing anything itself.

#include "ui/State.h"

#include <functional>
#include <optional>

namespace platform::ui {

struct SheetOptions {
    std::function<bool()> canClose;   // false: the sheet stays (the owner is busy)
    std::function<void()> onCancel;   // Escape goes to the owner
    std::function<void()> onDismiss;  // after the sheet went away, by any means
    FrameSpec frame;                  // bounds of the sheet's size
};

// The presenting container's close action, for content inside a sheet or
// popover; returns false when the close was refused.
struct DismissKey {
    using Value = std::function<bool()>;
    static Value defaultValue() { return [] { return false; }; }
};

std::function<View(const View&)> sheet(Binding<bool> isPresented, std::function<View()> content, SheetOptions options = {});

// A sheet for an item: shown while the binding holds one, closed by clearing it.
template <class T>
std::function<View(const View&)> sheet(Binding<std::optional<T>> item, std::function<View(const T&)> content,
                                       SheetOptions options = {})
{
    Binding<bool> shown([item] { return item.get().has_value(); }, [item](bool v) {
        if (!v) item.set(std::nullopt);
    });
    return sheet(shown, [item, content]() -> View {
        auto v = item.get();
        return v ? content(*v) : View();
    }, std::move(options));
}

// `content` over the whole window, placed by `alignment` and drawn above
// every sheet, popover and alert the window presents (a banner raised while a
// sheet is open). It takes the clicks that hit it and lets the others through
// to what lies beneath; the keys and the focus stay with what lies beneath.
std::function<View(const View&)> overlayAboveSheets(View content, Alignment alignment = Alignment::center);
// `content` in a strip at the window's foot, as high as it asks, above every
// sheet, popover and alert, as `overlayAboveSheets`; the window's content and
// its sheets, popovers and alerts are laid out in the room above the strip,
// so it covers none of them. Its focusable views come last in the Tab order.
std::function<View(const View&)> footAboveSheets(View content);

// The colour behind sheets, popovers and alerts.
Color windowBackgroundColor();

}  // namespace platform::ui
