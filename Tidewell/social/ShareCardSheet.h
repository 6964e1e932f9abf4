#pragma once
// The sheet that turns a share moment into a card: header, the three posting
// steps, a half-size live preview beside the heading, background and
// character controls, the post, copy and save actions, and a footer with the
// transient status line and "Done".

#include <functional>
#include <optional>
#include <string>

#include <QImage>

#include "social/ShareCardCanvas.h"
#include "social/ShareCardExport.h"
#include "social/ShareMoment.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The sheet's own state, kept for one presentation.
struct ShareCardSheetState {
    std::string heading;
    std::optional<QImage> customImage;
    double dim = 0.35;
    std::optional<std::string> status;
    std::optional<ShareNetwork> posting;
    // The preview's width in points: the 1200-point card at half its size.
    static constexpr double previewWidth = 600;
    // The most user-visible characters the heading keeps.
    static constexpr std::size_t headingLimit = 80;
};

// "Milestone reached" for a milestone, else "Share your clean".
std::string shareSheetTitle(ShareMoment::Kind kind);

// The card of the sheet's current state: its heading, photo and veil, the
// chosen preset, the store's window capture, the character when it shows on
// share cards, and the lifetime total.
ShareCardCanvas shareSheetCard(const AppStore& store, const ShareCardSheetState& state, int backgroundID);

platform::ui::View ShareCardSheet(AppStore& store, std::function<void()> dismiss, const ShareMoment& moment);

}  // namespace tidewell
