#include "social/ShareCardCanvas.h"

#include "character/ShareCardCharacter.h"
#include "kit/BrandMark.h"
#include "kit/DisplayFont.h"
#include "kit/Theme.h"
#include "social/ServiceOrigin.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

constexpr double kWindowTop = 324;
constexpr double kWindowWidth = 912;

ui::View backdrop(const ShareCardCanvas& card) {
    if (card.customImage) {
        return ui::Image::bitmap(*card.customImage)
            .resizable()
            .scaledToFill()
            .frame(kShareCardWidth, kShareCardHeight)
            .clipped()
            .overlay(ui::View(ui::Color::black().opacity(card.dim)));
    }
    return ui::Rectangle().fill(card.background.gradient());
}

ui::View textBlock(const ShareCardCanvas& card) {
    const ui::Color ink = shareCardUsesDarkText(card.background, card.customImage.has_value()) ? ui::Color::hex(0x0D1B24)
                                                                                                : ui::Color::white();
    // An empty heading keeps its line, so the byline stays where one line would put it.
    ui::View heading = ui::Text(card.heading.empty() ? " " : card.heading)
                           .font(displayTitleFont(62))
                           .multilineTextAlignment(ui::TextAlignment::center)
                           .lineLimit(2)
                           .minimumScaleFactor(0.6);
    ui::View byline = ui::HStack(ui::VerticalAlignment::center, 10,
                                 {BrandMark(26), ui::Text(shareCardBylineText()).font(ui::Font::system(17, ui::FontWeight::semibold))})
                          .opacity(0.85);
    return ui::VStack(ui::HorizontalAlignment::center, 19, {heading, byline})
        .foregroundStyle(ink)
        .padding(ui::Edges::horizontal(), 96)
        .padding(ui::Edge::top, 72);
}

ui::View windowFrame(const ShareCardCanvas& card) {
    const ui::Shape frame = ui::UnevenRoundedRectangle({14, 0, 0, 14});
    ui::View content;
    if (card.window) {
        content = ui::Image::bitmap(*card.window)
                      .resizable()
                      .interpolationHigh()
                      .aspectRatio(std::nullopt, ui::ContentMode::fit)
                      .frame(kWindowWidth, std::nullopt);
    } else {
        content = ui::Rectangle()
                      .fill(Theme::windowBackground())
                      .aspectRatio(1.6, ui::ContentMode::fit)
                      .frame(kWindowWidth, std::nullopt)
                      .overlay(BrandMark(96));
    }
    // Its full natural height: a tall window runs past the card's bottom edge and is cut there.
    return content.fixedSize(false, true)
        .clipShape(frame)
        .overlay(frame.strokeBorder(ui::Color::white().opacity(0.18), 1.5))
        .shadow(ui::Color::black().opacity(0.45), 36, 0, 36)
        .padding(ui::Edge::top, kWindowTop);
}

}  // namespace

std::string shareCardBylineText() { return std::string("Tidewell · ") + builtInServiceHost; }

bool shareCardUsesDarkText(const ShareBackground& background, bool hasPhoto) { return !hasPhoto && background.darkText; }

ui::View ShareCardCanvas::body() const {
    ui::View character = this->character ? ShareCardCharacter(*this->character, lifetimeBytes)
                                               .padding(ui::Edge::trailing, 36)
                                               .padding(ui::Edge::bottom, 28)
                                         : ui::EmptyView();
    return ui::ZStack(ui::Alignment::top, {backdrop(*this), textBlock(*this), windowFrame(*this)})
        .frame(kShareCardWidth, kShareCardHeight, ui::Alignment::top)
        .clipped()
        .overlay(character, ui::Alignment::bottomTrailing);
}

}  // namespace tidewell
