#pragma once

// A view that shares its frame with every other view of the same id in the
// same namespace: when the one view bearing the id moves to another place in
// the tree (a selection pill moving between rows), it is drawn travelling
// from its old frame to the new one with the animation in effect.

#include "ui/Animation.h"

#include <string>

namespace platform::ui {

std::function<View(const View&)> matchedGeometryEffect(std::string id, std::string nameSpace);

}  // namespace platform::ui
