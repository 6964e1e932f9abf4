#include "social/AccountAvatar.h"

#include <QString>

#include "kit/Theme.h"
#include "ui/Characters.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::optional<std::string> accountInitials(const std::optional<std::string>& name) {
    if (!name || name->empty()) return std::nullopt;
    std::string taken;
    int pieces = 0;
    std::string piece;
    auto takePiece = [&] {
        if (!piece.empty() && pieces < 2) {
            taken += ui::prefixCharacters(piece, 1);
            ++pieces;
        }
        piece.clear();
    };
    for (char c : *name) {
        if (c == ' ' || c == '@' || c == '.') takePiece();
        else piece += c;
    }
    takePiece();
    if (taken.empty()) return std::nullopt;
    return QString::fromStdString(taken).toUpper().toStdString();
}

ui::View AccountAvatar::body() const {
    const auto initials = accountInitials(name);
    const ui::View fill = name ? ui::Circle().fill(Theme::accent()) : ui::Circle().fill(ui::Color::primary().opacity(0.1));
    const ui::View mark = initials ? ui::Text(*initials)
                                         .font(ui::Font::system(size * 0.4, ui::FontWeight::semibold))
                                         .foregroundStyle(ui::Color::white())
                                   : ui::Image::systemName("person.fill")
                                         .font(ui::Font::system(size * 0.45))
                                         .foregroundStyle(ui::ShapeStyle::secondary());
    return ui::ZStack({fill, mark}).frame(size, size).accessibilityHidden(true);
}

}  // namespace tidewell
