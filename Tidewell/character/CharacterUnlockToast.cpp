#include "character/CharacterUnlockToast.h"

#include "character/CharacterFigure.h"
#include "character/CharacterViewRules.h"
#include "core/AppStore.h"
#include "kit/ForestButton.h"
#include "kit/Theme.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

ui::View CharacterUnlockToast(AppStore& store, CharacterAccessory accessory, UnlockToastTimer timer) {
    if (!timer)
        timer = [](const ui::ViewTask& task, double seconds, std::function<void()> fire) { task.after(seconds, std::move(fire)); };
    AppStore* s = &store;
    const CharacterProfile profile = store.character.get();
    const ui::Shape card = ui::RoundedRectangle(16, ui::RoundedCornerStyle::continuous);
    ui::View close = ui::Button(ui::Image::systemName("xmark.circle.fill").foregroundStyle(ui::ShapeStyle::secondary()),
                                [s] { s->newUnlock = std::nullopt; })
                         .modifier(ui::buttonStyle(ui::plainButtonStyle()))
                         .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::cancelAction()))
                         .accessibilityLabel("Dismiss");
    ui::FrameSpec width;
    width.maxWidth = 440;
    return ui::HStack(ui::VerticalAlignment::center, 12,
                      {CharacterFigure{profile.body, characterUIColor(profile), accessory, 1}.body().frame(40, 46),
                       ui::VStack(ui::HorizontalAlignment::leading, 2,
                                  {ui::Text(unlockToastHeading(accessory)).font(ui::Font::headline()),
                                   ui::Text(unlockToastDetail(profile, accessory))
                                       .font(ui::Font::callout())
                                       .foregroundStyle(ui::ShapeStyle::secondary())}),
                       ForestButton{"Wear It", std::nullopt, ForestButton::Tone::reclaim, ui::ControlSize::regular, false,
                                    [s, accessory] { wearUnlockedAccessory(*s, accessory); }}
                           .body(),
                       close})
        .padding(ui::Edges::horizontal(), 14)
        .padding(ui::Edges::vertical(), 10)
        .frame(width)
        .background(ui::ZStack({card.fill(Theme::raisedSurface()), card.strokeBorder(Theme::reclaim().opacity(0.35), 1)}))
        .shadow(ui::Color::black().opacity(0.25), 18, 0, 8)
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .task(std::string(rawValue(accessory)), [s, accessory, timer](const ui::ViewTask& task) {
            timer(task, unlockToastSeconds, [s, accessory] { expireUnlockAnnouncement(*s, accessory); });
        });
}

}  // namespace tidewell
