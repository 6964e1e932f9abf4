#include "character/ShareCardCharacter.h"

#include "character/CharacterFigure.h"
#include "character/CharacterViewRules.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View ShareCardCharacter(const CharacterProfile& profile, std::uint64_t lifetime) {
    return ui::VStack(ui::HorizontalAlignment::center, 8,
                      {CharacterFigure{profile.body, characterUIColor(profile), profile.accessory, 1}.body().frame(120, 142),
                       ui::VStack(ui::HorizontalAlignment::center, 1,
                                  {ui::Text(characterDisplayName(profile)).font(ui::Font::system(17, ui::FontWeight::bold)),
                                   ui::Text(shareCardStageLine(lifetime))
                                       .font(ui::Font::system(13, ui::FontWeight::semibold))
                                       .monospacedDigit()
                                       .opacity(0.85)})
                           .foregroundStyle(ui::Color::white())
                           .padding(ui::Edges::horizontal(), 12)
                           .padding(ui::Edges::vertical(), 6)
                           .background(ui::Capsule().fill(ui::Color::black().opacity(0.55)))})
        .shadow(ui::Color::black().opacity(0.35), 14, 0, 8);
}

}  // namespace tidewell
