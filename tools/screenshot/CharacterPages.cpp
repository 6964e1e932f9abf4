// The character's pictures: every body with every accessory, and every growth
// stage with and without accessories, on the window's surface.
#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "character/CharacterFigure.h"
#include "ui/UI.h"

using namespace platform::ui;
using namespace tidewell;

namespace {

View surface(View v) { return v.padding(24).background(Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125))); }

View caption(const std::string& text) { return Text(text).font(Font::caption()).foregroundStyle(Color::secondary()); }

View figures()
{
    ViewList rows;
    int colour = 0;
    for (CharacterBody body : allCharacterBodies) {
        ViewList cells;
        for (CharacterAccessory acc : allCharacterAccessories) {
            cells.push_back(VStack(HorizontalAlignment::center, 4,
                                   {CharacterFigure{body, paletteColor(characterPalette[std::size_t(colour++ % 6)]), acc, 1}.body().frame(110, 130),
                                    caption(std::string(title(body)) + " · " + std::string(title(acc)))}));
        }
        rows.push_back(HStack(VerticalAlignment::bottom, 12, cells));
    }
    return surface(VStack(HorizontalAlignment::leading, 18, rows));
}

// Tiny, Growing, Big, Huge and Giant, each bare and wearing the accessory it unlocks around then.
View stages()
{
    const std::uint64_t totals[] = {0, 10'000'000'000, 50'000'000'000, 200'000'000'000, 999'000'000'000};
    const CharacterAccessory worn[] = {CharacterAccessory::cap, CharacterAccessory::headphones, CharacterAccessory::scarf,
                                       CharacterAccessory::cape, CharacterAccessory::crown};
    ViewList rows;
    for (CharacterBody body : allCharacterBodies) {
        ViewList cells;
        for (int i = 0; i < 5; ++i)
            for (bool dressed : {false, true})
                cells.push_back(VStack(HorizontalAlignment::center, 4,
                                       {CharacterFigure{body, paletteColor(characterPalette[std::size_t(i + 1)]),
                                                        dressed ? worn[i] : CharacterAccessory::none, characterSizeFactor(totals[i])}
                                            .body()
                                            .frame(90, 106),
                                        caption(characterGrowthStage(totals[i]))}));
        rows.push_back(HStack(VerticalAlignment::bottom, 6, cells));
    }
    return surface(VStack(HorizontalAlignment::leading, 18, rows));
}

// Small sizes as the sidebar, toast and setup button use them.
View small()
{
    ViewList cells;
    int i = 0;
    for (CharacterBody body : allCharacterBodies)
        for (auto [w, h] : {std::pair{18.0, 21.0}, {26.0, 30.0}, {40.0, 46.0}, {44.0, 50.0}})
            cells.push_back(CharacterFigure{body, paletteColor(characterPalette[std::size_t(i++ % 6)]), CharacterAccessory::headphones, 1}
                                .body()
                                .frame(w, h));
    return surface(HStack(VerticalAlignment::bottom, 10, cells));
}

const ScreenshotPage p1("character-figures", [] { return figures(); });
const ScreenshotPage p2("character-stages", [] { return stages(); });
const ScreenshotPage p3("character-small", [] { return small(); });

}  // namespace
