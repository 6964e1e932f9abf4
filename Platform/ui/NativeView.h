#pragma once

// A slot for a Qt widget (a web view) inside a view tree: the widget is made
// once per identity, parented to the host's widget, and kept at the view's
// laid-out frame (through offsets and scales), at its opacity as far as a
// native widget can follow it, and hidden while any sheet, popover or other
// layer lies above the content, while a card with the modal trait overlaps
// it (a prompt over the page), or when the view is hidden or unplaced.
// It goes when the view leaves the tree. Without a host widget (pictures,
// headless tests) the slot is an empty frame. Where content marked with
// `AboveNativeViews` overlaps it, the widget leaves that part out.

#include "ui/View.h"

#include <functional>

class QWidget;

namespace platform::ui {

// `make` creates the widget (the slot owns it); `update` runs after every
// layout with it, for state the view passes in.
View NativeView(std::function<QWidget*()> make, std::function<void(QWidget*)> update = nullptr);

// `content`, drawn above the native widgets it overlaps (a banner of the
// window over a web view): each widget is cut away beneath it, so the
// content shows and takes the clicks there.
View AboveNativeViews(View content);

}  // namespace platform::ui
