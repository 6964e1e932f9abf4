#include "social/SharePromptCard.h"

#include "core/AppStore.h"
#include "foundation/Formatters.h"
#include "kit/ForestButton.h"
#include "kit/SymbolTile.h"
#include "kit/Theme.h"
#include "ui/Button.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::string sharePromptProjectsLine(std::int64_t projectCount) {
    return "reclaimed from " + std::to_string(projectCount) + " project" + (projectCount == 1 ? "" : "s");
}

ui::View SharePromptCard(AppStore& store, const ShareMoment& moment) {
    AppStore* s = &store;
    const ui::Shape card = ui::RoundedRectangle(22, ui::RoundedCornerStyle::continuous);
    return ui::VStack(
               ui::HorizontalAlignment::center, 14,
               {SymbolTile("leaf.fill", Theme::reclaim(), 52),
                ui::VStack(ui::HorizontalAlignment::center, 4,
                           {ui::Text(platform::formatByteCount(moment.bytes))
                                .font(ui::Font::system(44, ui::FontWeight::bold, ui::FontDesign::rounded))
                                .foregroundStyle(Theme::reclaim()),
                            ui::Text(sharePromptProjectsLine(moment.projectCount)).font(ui::Font::headline())}),
                ui::Text("Share your clean on X or LinkedIn with a card of your Tidewell window.")
                    .font(ui::Font::callout())
                    .foregroundStyle(ui::ShapeStyle::secondary())
                    .multilineTextAlignment(ui::TextAlignment::center)
                    .fixedSize(false, true),
                ui::HStack(ui::VerticalAlignment::center, 10,
                           {ForestButton{"Not Now", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::large, true,
                                         [s] { s->sharePrompt = std::nullopt; }}
                                .body()
                                .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::cancelAction())),
                            ForestButton{"Share", std::string("square.and.arrow.up"), ForestButton::Tone::reclaim,
                                         ui::ControlSize::large, true, [s, moment] { s->presentShare(moment); }}
                                .body()
                                .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::defaultAction()))})
                    .padding(ui::Edge::top, 4)})
        .frame(340, std::nullopt)
        .padding(28)
        .background(card.fill(Theme::raisedSurface()))
        .overlay(card.strokeBorder(Theme::reclaim().opacity(0.35), 1).allowsHitTesting(false))
        .shadow(ui::Color::black().opacity(0.35), 30, 0, 14)
        .accessibilityElement(ui::AccessibilityChildBehavior::contain)
        .accessibilityAddTraits(ui::AccessibilityTrait::isModal);
}

}  // namespace tidewell
