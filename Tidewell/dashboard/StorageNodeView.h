#pragma once
// One stack of the storage tree as a glossy tinted bubble: icon, name on
// large bubbles, reclaimable size, status dot, a breathing glow, a pop on
// first showing, a slight swell under the pointer and when selected.

#include <cstddef>
#include <functional>
#include <string>

#include "dashboard/StorageNodeModel.h"
#include "ui/View.h"

namespace tidewell {

struct StorageNodeView {
    StorageNodeModel node;
    bool selected = false;
    bool hovered = false;
    bool appeared = false;
    int index = 0;
    double time = 0;
    bool reduceMotion = false;
    std::function<void()> onSelect;
    // Which of the bubble's two kept drawings to use: the host moves bubbles
    // in half-point steps and gives odd steps phase 1.
    int pixelPhase = 0;

    platform::ui::View body() const;
};

// The glow level that drives the halo and the shadow.
double storageNodeGlow(bool selected, bool hovered, int index, double time, bool reduceMotion);
// The icon's side for a bubble of diameter `d`.
double storageNodeIconSide(double d);
// The size pill's side padding: 8 on bubbles with room, down to 4 on the
// smallest, so the text keeps its size before the padding does.
double storageNodePillPadding(double d);
// The width the size text may take in a bubble of diameter `d` whose pill is
// `pillHeight` tall: on bubbles without a name, the widest pill whose rounded
// ends stay inside the face, less its padding; named bubbles keep the face's
// side margins.
double storageNodeSizeTextRoom(double d, double pillHeight);
// The swell under the pointer and when selected.
double storageNodeScale(bool selected, bool hovered);
// How many times the bubbles' kept pictures were drawn afresh on this thread
// (a still bubble draws them once for each of its two placements).
std::size_t storageNodeDrawingRenders();
// What a screen reader says: "Node, Reclaimable, 1.2 GB reclaimable, 3 projects".
std::string storageNodeAccessibilityLabel(const StorageNodeModel& node);

}  // namespace tidewell
