#pragma once
// The one drawing of the character: a body in its colour, two eyes and an
// accessory, as flat shapes fitted into whatever frame it is given. It has no
// state and no motion; callers move, scale or squash the view around it.

#include "character/CharacterProfile.h"
#include "ui/Canvas.h"
#include "ui/Color.h"
#include "ui/View.h"

namespace tidewell {

struct CharacterFigure {
    CharacterBody shape = CharacterBody::robot;
    platform::ui::Color color;
    CharacterAccessory accessory = CharacterAccessory::none;
    double sizeFactor = 1;  // extra scale towards the feet, 0…1 in practice

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

// The figure drawn into a canvas of `size`: fitted by height or width, feet
// 5 design units above the bottom edge, centred.
void drawCharacterFigure(platform::ui::GraphicsContext& context, platform::ui::Size size, CharacterBody shape,
                         const platform::ui::Color& color, CharacterAccessory accessory, double sizeFactor);

// Where the design box's origin (the feet) lands and its scale, for a canvas of `size`.
struct FigureFit {
    platform::ui::Point feet;
    double scale = 1;
};
FigureFit characterFigureFit(platform::ui::Size size, double sizeFactor);

// The palette colour as a view colour.
platform::ui::Color characterUIColor(const CharacterProfile& profile);
platform::ui::Color paletteColor(RGB rgb);

}  // namespace tidewell
