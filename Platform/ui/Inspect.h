#pragma once

// Questions about a laid-out element tree, shared by the host, the
// accessibility tree and tests.

#include "ui/View.h"

#include <QTransform>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

// The string a text view shows, as given.
std::optional<std::string> textOfNode(const Node* node);
// The lines a placed text view drew (after wrapping and truncation).
std::vector<std::string> textLinesOf(const Element& e);
// The shrink a placed text applied for its minimum scale factor (1 = none).
double textScaleOf(const Element& e);

// The children in the order they paint (back to front).
std::vector<const Element*> paintOrder(const Element& e);
// From the element's layout space to the host's, through the render
// transforms of the element and its ancestors.
QTransform transformToRoot(const Element& e);
// The element's frame as drawn, in host points.
Rect visualFrame(const Element& e);

// Depth-first search of a tree.
const Element* findElement(const Element& root, const std::function<bool(const Element&)>& match);

}  // namespace platform::ui
