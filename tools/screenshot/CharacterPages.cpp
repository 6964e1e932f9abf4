// The character's pictures: every body with every accessory, and every growth
// stage with and without accessories, on the window's surface.
#include "ScreenshotPages.h"
#include "SampleStore.h"

#include "character/CharacterFigure.h"
#include "character/CharacterSettingsPane.h"
#include "character/CharacterSetupButton.h"
#include "character/CharacterUnlockToast.h"
#include "character/DashboardCharacter.h"
#include "character/ShareCardCharacter.h"
#include "character/SidebarCharacterHeader.h"
#include "character/SidebarCharacterRow.h"
#include "ui/Form.h"
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

// The shared store wearing a known character with `lifetime` reclaimed.
AppStore& characterStore(std::uint64_t lifetime, CharacterAccessory accessory = CharacterAccessory::headphones, std::string name = "BriskOtter4821")
{
    AppStore& store = sampleStore();
    CharacterProfile p = store.character.get();
    p.body = CharacterBody::cat;
    p.colorIndex = 1;
    p.accessory = accessory;
    p.name = std::move(name);
    p.isSetUp = true;
    store.setCharacter(p);
    store.lifetimeReclaimedBytes = lifetime;
    return store;
}

// The small views: toast, sidebar row (wide and compact), header, setup button,
// dashboard character with its caption, share-card character.
View views()
{
    AppStore& store = characterStore(128'400'000'000);
    const View sidebar = VStack(HorizontalAlignment::leading, 10,
                                {SidebarCharacterRow(store, false).frame(240, std::nullopt),
                                 SidebarCharacterRow(store, true).frame(64, std::nullopt),
                                 SidebarCharacterHeader(store).frame(240, std::nullopt)})
                             .padding(10)
                             .background(Color::primary().opacity(0.03));
    const View share = ShareCardCharacter(store.character.get(), store.lifetimeReclaimedBytes.get())
                           .padding(30)
                           .background(Rectangle().fill(LinearGradient{Gradient{Color::hex(0x0A242B), Color::hex(0x1D9E75)}, UnitPoint::top, UnitPoint::bottom}));
    return surface(VStack(HorizontalAlignment::leading, 24,
                          {CharacterUnlockToast(store, CharacterAccessory::crown),
                           HStack(VerticalAlignment::top, 30,
                                  {sidebar, VStack(HorizontalAlignment::leading, 20, {CharacterSetupButton(store),
                                                                                     DashboardCharacter(store, 54, std::string("Hi, I'm BriskOtter4821!"))}),
                                   share})}));
}

View pane(std::uint64_t lifetime)
{
    AppStore& store = characterStore(lifetime, CharacterAccessory::cap, "Mira_7");
    return Form({CharacterSettingsPane(store)}).frame(530, 900).background(Color::dynamic(Color::sRGB(0.91, 0.949, 0.98), Color::sRGB(0.075, 0.11, 0.125)));
}

const ScreenshotPage p4("character-views", [] { return views(); });
const ScreenshotPage p5("character-pane", [] { return pane(0); });
const ScreenshotPage p6("character-pane-grown", [] { return pane(120'000'000'000); });

const ScreenshotPage p1("character-figures", [] { return figures(); });
const ScreenshotPage p2("character-stages", [] { return stages(); });
const ScreenshotPage p3("character-small", [] { return small(); });

}  // namespace
