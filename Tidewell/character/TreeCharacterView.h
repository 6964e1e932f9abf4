#pragma once
// The character living on the storage tree: it walks along the ground, jumps
// onto the bubbles and down again, now and then says something about its
// perch or what is ready to clean, and hops when a clean has just fed it.
// The motion is a pure function of the time given, so the tree draws it
// twice from its own clock, behind and in front of its bubbles, and each
// copy draws only when the pose belongs to its layer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "character/CharacterProfile.h"
#include "dashboard/TreePerch.h"
#include "ui/View.h"

namespace tidewell {

struct TreeCharacterView {
    enum class Layer { behind, front };

    // Where and how the character stands at one moment.
    struct Pose {
        platform::ui::Point feet;
        double facing = 1;  // 1 right, −1 left
        double squash = 1;  // vertical scale
        double lean = 0;    // degrees
        std::optional<std::string> line;
        bool behind = false;
    };

    CharacterProfile profile;
    std::uint64_t lifetime = 0;
    std::optional<CharacterMeal> meal;
    std::uint64_t readyBytes = 0;
    std::vector<TreePerch> perches;
    platform::ui::Size size;
    double time = 0;
    bool reduceMotion = false;
    Layer layer = Layer::front;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

// The pose at `time` for a view of `size`.
TreeCharacterView::Pose treeCharacterPose(const std::vector<TreePerch>& perches, platform::ui::Size size, double time,
                                          bool reduceMotion, std::uint64_t readyBytes);

}  // namespace tidewell
