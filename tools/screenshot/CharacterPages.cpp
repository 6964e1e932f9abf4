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
#include "character/TreeCharacterView.h"
#include "dashboard/StorageNodeLayout.h"
#include "dashboard/StorageNodeView.h"
#include "dashboard/StorageTreeRules.h"
#include "dashboard/TreeBackgroundView.h"
#include "dashboard/TreeFoliageView.h"
#include "dashboard/TreeTrunkView.h"
#include "foundation/UserDefaults.h"
#include "runtime/Clock.h"
#include "shell/TidewellApp.h"
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

// The tree scene at a moment the pose asks for: the first time from 0 on
// where `wanted` holds, with the bubbles, both character layers and a caption.
View treeMoment(const std::string& what, const std::function<bool(const TreeCharacterView::Pose&, const std::vector<TreePerch>&)>& wanted, bool fed = false)
{
    AppStore& store = characterStore(128'400'000'000, CharacterAccessory::scarf);
    const auto& dash = *store.dashboard.get();
    const Size size{640, 360};
    const auto nodes = layoutStorageNodes(size, dash.by_type, dash.projects, {});
    double t = 0;
    for (; t < 2000; t += 0.05)
    {
        const auto perches = makeTreePerches(nodes, t, size.width, size.height, false);
        if (wanted(treeCharacterPose(perches, size, t, false, dash.reclaimable_bytes), perches)) break;
    }
    std::optional<CharacterMeal> meal;
    if (fed) meal = CharacterMeal{3'200'000'000, platform::now() - std::chrono::milliseconds(600)};
    TreeCharacterView character{store.character.get(), store.lifetimeReclaimedBytes.get(), meal, dash.reclaimable_bytes,
                                makeTreePerches(nodes, t, size.width, size.height, false), size, t, false,
                                TreeCharacterView::Layer::behind};
    ViewList layers{TreeBackgroundView(t, 0), TreeTrunkView(nodes), TreeFoliageView(nodes, t), character.body().zIndex(0.5)};
    for (std::size_t i = 0; i < nodes.size(); ++i)
        layers.push_back(StorageNodeView{nodes[i], false, false, true, int(i), t, false, {}}
                             .body()
                             .position(nodes[i].position.x, bobbedNodeY(nodes[i], int(i), t, false))
                             .zIndex(1));
    character.layer = TreeCharacterView::Layer::front;
    layers.push_back(character.body().zIndex(1.5));
    return VStack(HorizontalAlignment::leading, 6,
                  {ZStack(Alignment::center, layers).frame(size.width, size.height).clipShape(RoundedRectangle(16)), caption(what)});
}

View treeMoments()
{
    const auto onPerchSpeaking = [](const TreeCharacterView::Pose& p, const auto&) { return p.line && p.line->find(" · ") != std::string::npos; };
    // Behind, its feet just below a bubble, so the bubble hides its head.
    const auto peeking = [](const TreeCharacterView::Pose& p, const std::vector<TreePerch>& perches) {
        if (!p.behind) return false;
        for (const auto& q : perches)
            if (std::abs(p.feet.x - q.center.x) < 0.5 * q.radius && p.feet.y > q.center.y + q.radius + 6 &&
                p.feet.y < q.center.y + q.radius + 20)
                return true;
        return false;
    };
    return surface(VStack(HorizontalAlignment::leading, 16,
                          {HStack(VerticalAlignment::top, 16,
                                  {treeMoment("jumping, behind the bubbles", peeking),
                                   treeMoment("on a perch, speaking", onPerchSpeaking)}),
                           HStack(VerticalAlignment::top, 16,
                                  {treeMoment("on the ground, speaking", [](const auto& p, const auto&) { return p.line && p.line->find("ready") != std::string::npos; }),
                                   treeMoment("just fed, hopping", [](const auto& p, const auto&) { return !p.line && p.lean == 0 && !p.behind; }, true)})}));
}

// The main window announcing an unlock, the character in the sidebar's status card.
View windowWithToast()
{
    AppStore& store = characterStore(52'000'000'000, CharacterAccessory::headphones);
    platform::UserDefaults::standard()->setBool(keys::hasCompletedOnboarding, true);
    store.isScanning = false;
    store.selectedSection = AppSection::dashboard;
    store.newUnlock = CharacterAccessory::scarf;
    return TidewellApp::mainWindowContent(store);
}

const ScreenshotPage p8("character-window", [] { return windowWithToast(); });
const ScreenshotPage p7("character-tree", [] { return treeMoments(); });

const ScreenshotPage p4("character-views", [] { return views(); });
const ScreenshotPage p5("character-pane", [] { return pane(0); });
const ScreenshotPage p6("character-pane-grown", [] { return pane(120'000'000'000); });

const ScreenshotPage p1("character-figures", [] { return figures(); });
const ScreenshotPage p2("character-stages", [] { return stages(); });
const ScreenshotPage p3("character-small", [] { return small(); });

}  // namespace
