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
#include "ui/State.h"
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

// The sheet of one share moment, made by the main window with the store, its
// dismissal and the moment. As it shows, it is bound to its own state, the
// stored background choice and the window's appearance; its operations work
// on what it is bound to.
struct ShareCardSheet {
    ShareCardSheet(AppStore& store, std::function<void()> dismiss, ShareMoment moment);

    AppStore* store;
    std::function<void()> dismiss;
    ShareMoment moment;
    platform::ui::Binding<ShareCardSheetState> state;
    platform::ui::Binding<int> backgroundID;  // the stored "shareCardBackground"
    platform::ui::ColorScheme scheme = platform::ui::ColorScheme::light;

    platform::ui::View body() const;
    operator platform::ui::View() const { return body(); }

    // The preset whose id is the stored choice; the first ("Forest") when none has it.
    const ShareBackground& selectedBackground() const;
    // The card of the sheet's current state: its heading, photo and veil, the
    // selected preset, the store's window capture, the character when it
    // shows on share cards, and the lifetime total. The preview and every
    // export draw this card.
    ShareCardCanvas card() const;
    // The card drawn at 2 pixels per point and encoded; none when it could not be drawn.
    std::optional<std::string> pngData() const;
    std::optional<std::string> jpegData() const;

    bool copyImage() const;
    void flash(const std::string& text) const;
    void savePNG() const;
    void post(ShareNetwork network) const;
    void openPost(ShareNetwork network, const std::string& heading, const std::optional<std::string>& imageURL) const;
    void chooseImage() const;
    void selectBackground(const ShareBackground& preset) const;
};

}  // namespace tidewell
