#pragma once
// The share card: a 1200 × 675 point picture of the heading, the byline, a
// framed capture of the main window and, optionally, the character, over a
// preset gradient or the user's own photo. The sheet previews it and every
// export renders the same value.

#include <cstdint>
#include <optional>
#include <string>

#include <QImage>

#include "character/CharacterProfile.h"
#include "social/ShareBackground.h"
#include "ui/View.h"

namespace tidewell {

inline constexpr double kShareCardWidth = 1200;
inline constexpr double kShareCardHeight = 675;

struct ShareCardCanvas {
    std::string heading;
    ShareBackground background;
    std::optional<QImage> customImage;  // replaces the preset
    double dim = 0;                     // black veil over the photo, 0 to 1
    std::optional<QImage> window;       // the main window's capture
    std::optional<CharacterProfile> character;
    std::uint64_t lifetimeBytes = 0;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }
};

// The byline's words: "Tidewell · " and the public site's host, which
// `TIDEWELL_SITE` does not change.
std::string shareCardBylineText();
// The colour of the card's text: dark on a light preset, white on every
// other preset and on any photo.
bool shareCardUsesDarkText(const ShareBackground& background, bool hasPhoto);

}  // namespace tidewell
