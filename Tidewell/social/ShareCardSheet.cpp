#include "social/ShareCardSheet.h"

#include <QFile>

#include <unistd.h>

#include "core/AppStore.h"
#include "desktop/OpenPanel.h"
#include "desktop/SavePanel.h"
#include "desktop/Workspace.h"
#include "social/BrowserLink.h"
#include "foundation/Files.h"
#include "kit/ForestButton.h"
#include "kit/ForestPageHeader.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
#include "runtime/MainActor.h"
#include "ui/AppStorage.h"
#include "ui/Button.h"
#include "ui/Grid.h"
#include "ui/Label.h"
#include "ui/Shape.h"
#include "ui/Slider.h"
#include "ui/State.h"
#include "ui/Text.h"
#include "ui/TextField.h"
#include "ui/Toggle.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

using State = ui::Binding<ShareCardSheetState>;

void update(const State& state, const std::function<void(ShareCardSheetState&)>& change) {
    ShareCardSheetState s = state.get();
    change(s);
    state.set(std::move(s));
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

ui::View caption(const std::string& text) {
    return ui::Text(text).font(ui::Font::caption().weight(ui::FontWeight::semibold)).foregroundStyle(ui::ShapeStyle::secondary());
}

ui::View stepRow(int number, const std::string& title, std::optional<std::string> detail = std::nullopt) {
    ui::ViewList texts{ui::Text(title).font(ui::Font::callout()).fixedSize(false, true)};
    if (detail)
        texts.push_back(ui::Text(*detail).font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary()).fixedSize(false, true));
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    return ui::HStack(ui::VerticalAlignment::top, 8,
                      {ui::Text(std::to_string(number))
                           .font(ui::Font::caption().bold())
                           .monospacedDigit()
                           .foregroundStyle(ui::Color::white())
                           .frame(18, 18)
                           .background(ui::Circle().fill(Theme::accent())),
                       ui::VStack(ui::HorizontalAlignment::leading, 2, texts)})
        .frame(fill);
}

ui::View postingSteps() {
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.alignment = ui::Alignment::leading;
    return ui::HStack(ui::VerticalAlignment::top, 16,
                      {stepRow(1, "Edit the heading and background"), stepRow(2, "Click Post on X or LinkedIn"),
                       stepRow(3, "Press Ctrl+V in the post to attach the image", "Or save the PNG and upload it yourself")})
        .padding(ui::Edges::horizontal(), 14)
        .padding(ui::Edges::vertical(), 10)
        .frame(fill)
        .background(ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous).fill(ui::Color::primary().opacity(0.05)))
        .accessibilityElement(ui::AccessibilityChildBehavior::combine)
        .accessibilityLabel("How to share");
}

ui::View preview(const ShareCardSheet& sheet, const ShareCardSheetState& state, double width) {
    const ui::Shape rim = ui::RoundedRectangle(10, ui::RoundedCornerStyle::continuous);
    const double scale = width / kShareCardWidth;
    return sheet.card()
        .body()
        .scaleEffect(scale, ui::UnitPoint::topLeading)
        .frame(width, kShareCardHeight * scale, ui::Alignment::topLeading)
        .clipShape(rim)
        .overlay(rim.strokeBorder(ui::Color::primary().opacity(0.08), 1))
        .accessibilityElement(ui::AccessibilityChildBehavior::ignore)
        .accessibilityLabel("Share card preview: " + state.heading);
}

ui::View swatch(const ShareCardSheet& sheet, const ShareBackground& preset, bool selected) {
    ui::View face = ui::Circle()
                        .fill(preset.gradient())
                        .frame(26, 26)
                        .overlay(ui::Circle().strokeBorder(ui::Color::primary().opacity(0.12), 1))
                        .padding(2)
                        .overlay(ui::Circle().strokeBorder(selected ? Theme::accent() : ui::Color::clear(), 2));
    return ui::Button(face, [sheet, preset] { sheet.selectBackground(preset); })
        .modifier(ui::buttonStyle(ui::plainButtonStyle()))
        .help(preset.name)
        .accessibilityLabel(preset.name + " background")
        .id(std::to_string(preset.id));
}

ui::View controls(const ShareCardSheet& sheet, const ShareCardSheetState& state) {
    AppStore& store = *sheet.store;
    const State st = sheet.state;
    ui::Binding<std::string> heading([st] { return st.get().heading; },
                                     [st](std::string v) { update(st, [&](auto& s) { s.heading = std::move(v); }); });
    ui::TextFieldOptions fieldOptions;
    fieldOptions.limit = ShareCardSheetState::headingLimit;
    fieldOptions.lines = std::pair{2, 3};
    const ui::View headingGroup =
        ui::VStack(ui::HorizontalAlignment::leading, 6, {caption("Heading"), ui::TextField("Heading", heading, fieldOptions).fixedSize(false, true)});

    std::vector<ui::GridItem> columns(6, ui::GridItem::fixed(30, 8));
    ui::ViewList swatches;
    for (const auto& preset : ShareBackground::presets())
        swatches.push_back(swatch(sheet, preset, !state.customImage && sheet.backgroundID.get() == preset.id));
    ui::ViewList background{caption("Background"), ui::LazyVGrid(columns, swatches, ui::HorizontalAlignment::leading, 8),
                            ForestButton{"Choose Image…", std::string("photo"), ForestButton::Tone::secondary,
                                         ui::ControlSize::regular, true, [sheet] { sheet.chooseImage(); }}
                                .body()};
    if (state.customImage) {
        ui::Binding<double> dim([st] { return st.get().dim; }, [st](double v) { update(st, [&](auto& s) { s.dim = v; }); });
        background.push_back(ui::VStack(ui::HorizontalAlignment::leading, 4,
                                        {ui::Text("Darken image").font(ui::Font::caption()).foregroundStyle(ui::ShapeStyle::secondary()),
                                         ui::Slider(dim, 0, 0.7)}));
    }

    ui::Binding<bool> showsCharacter([&store] { return store.character.get().showsOnShareCard; },
                                     [&store](bool on) {
                                         CharacterProfile profile = store.character.get();
                                         profile.showsOnShareCard = on;
                                         store.setCharacter(profile);
                                     });

    const auto posting = state.posting;
    auto postButton = [&](ShareNetwork network, const char* title, ForestButton::Tone tone) {
        return ForestButton{posting == network ? "Preparing post…" : title, std::nullopt, tone, ui::ControlSize::regular, true,
                            [sheet, network] { sheet.post(network); }}
            .body()
            .disabled(posting.has_value());
    };
    const ui::View actions = ui::VStack(
        ui::HorizontalAlignment::center, 8,
        {postButton(ShareNetwork::x, "Post on X", ForestButton::Tone::accent),
         postButton(ShareNetwork::linkedIn, "Post on LinkedIn", ForestButton::Tone::secondary),
         ui::HStack(ui::VerticalAlignment::center, 8,
                    {ForestButton{"Copy Image", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, true,
                                  [sheet] {
                                      if (sheet.copyImage()) sheet.flash("Image copied");
                                  }}
                         .body(),
                     ForestButton{"Save PNG", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::regular, true,
                                  [sheet] { sheet.savePNG(); }}
                         .body()})});

    return ui::VStack(ui::HorizontalAlignment::leading, 16,
                      {headingGroup, ui::VStack(ui::HorizontalAlignment::leading, 8, background),
                       ui::Toggle("Show my character", showsCharacter).modifier(ui::controlSize(ui::ControlSize::small)),
                       ui::Divider(), actions})
        .frame(260, std::nullopt);
}

ui::View footer(const ShareCardSheetState& state, std::function<void()> dismiss) {
    ui::View status = state.status ? ui::Label(*state.status, "checkmark.circle.fill")
                                         .font(ui::Font::callout())
                                         .foregroundStyle(ui::ShapeStyle::secondary())
                                   : ui::EmptyView();
    return ui::HStack(ui::VerticalAlignment::center, 10,
                      {ui::TransitionIf(state.status.has_value(), ui::Transition::opacity(), status), ui::Spacer(0),
                       ForestButton{"Done", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::large, false,
                                    std::move(dismiss)}
                           .body()
                           .modifier(ui::keyboardShortcut(ui::KeyboardShortcut::cancelAction()))});
}

}  // namespace

std::string shareSheetTitle(ShareMoment::Kind kind) {
    return kind == ShareMoment::Kind::milestone ? "Milestone reached" : "Share your clean";
}

ShareCardSheet::ShareCardSheet(AppStore& store, std::function<void()> dismiss, ShareMoment moment)
    : store(&store), dismiss(std::move(dismiss)), moment(std::move(moment)) {}

const ShareBackground& ShareCardSheet::selectedBackground() const { return shareBackground(backgroundID.get()); }

ShareCardCanvas ShareCardSheet::card() const {
    const ShareCardSheetState current = state.get();
    const CharacterProfile profile = store->character.get();
    ShareCardCanvas canvas;
    canvas.heading = current.heading;
    canvas.background = selectedBackground();
    canvas.customImage = current.customImage;
    canvas.dim = current.dim;
    canvas.window = store->shareWindowImage;
    if (profile.showsOnShareCard) canvas.character = profile;
    canvas.lifetimeBytes = store->lifetimeReclaimedBytes.get();
    return canvas;
}

// Each drawn afresh from the card as it is now.
std::optional<std::string> ShareCardSheet::pngData() const { return sharePNGData(renderShareCard(card(), scheme)); }

std::optional<std::string> ShareCardSheet::jpegData() const { return shareJPEGData(renderShareCard(card(), scheme)); }

// The sheet is copied into callbacks that may outlive it, where its state
// binding then reads its last value and writes nothing.
void ShareCardSheet::flash(const std::string& text) const {
    ui::withAnimation(forestSpring(), [&] { update(state, [&](auto& s) { s.status = text; }); });
    platform::postToMainAfter(std::chrono::seconds(6), [state = state, text] {
        if (state.get().status != text) return;
        ui::withAnimation(forestSpring(), [&] { update(state, [](auto& s) { s.status = std::nullopt; }); });
    });
}

bool ShareCardSheet::copyImage() const {
    const QImage image = renderShareCard(card(), scheme);
    if (image.isNull()) {
        store->lastError = std::string(kShareDrawFailure);
        return false;
    }
    platform::Workspace::shared().copyImageToClipboard(image);
    return true;
}

void ShareCardSheet::savePNG() const {
    auto png = pngData();
    if (!png) {
        store->lastError = std::string(kShareDrawFailure);
        return;
    }
    platform::SavePanelOptions options;
    options.suggestedName = shareImageFileName(moment.bytes);
    options.extension = "png";
    platform::SavePanel::shared().begin(options, [self = *this, png = std::move(*png)](std::optional<std::string> path) {
        if (!path) return;
        // A named pipe or a device chosen by name is refused, not waited on.
        platform::FileError refused;
        const int fd = platform::openRegularFileForWriting(*path, &refused);
        if (fd < 0) {
            self.store->lastError = kShareSaveFailurePrefix + refused.reason;
            return;
        }
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) ||
            file.write(png.data(), qint64(png.size())) != qint64(png.size()) || !file.flush()) {
            if (!file.isOpen()) ::close(fd);
            self.store->lastError = kShareSaveFailurePrefix + file.errorString().toStdString();
            return;
        }
        self.flash("Saved " + fileNameOf(*path));
    });
}

void ShareCardSheet::post(ShareNetwork network) const {
    if (state.get().posting) return;
    if (!copyImage()) return;
    const std::string heading = trimmedShareHeading(state.get().heading);
    update(state, [&](auto& s) { s.posting = network; });
    // The rest runs on a later turn, so the button shows "Preparing post…" meanwhile.
    platform::postToMain([self = *this, network, heading] {
        auto finish = [self, network, heading](std::optional<std::string> imageURL) {
            update(self.state, [](auto& s) { s.posting = std::nullopt; });
            self.openPost(network, heading, imageURL);
        };
        if (auto jpeg = self.jpegData()) upload(*jpeg, heading, finish);
        else finish(std::nullopt);
    });
}

// Composes the post's text, opens the network's page in the browser and says
// so in the status line.
void ShareCardSheet::openPost(ShareNetwork network, const std::string& heading, const std::optional<std::string>& imageURL) const {
    const std::string said = sharePostClosingMessage(imageURL.has_value());
    // A desktop that cannot open the page answers later: the banner says so,
    // and the line that said the post opened goes.
    const bool handed = openInBrowser(sharePostPageURL(network, sharePostText(heading, imageURL)), [state = state, said] {
        if (state.get().status == said) update(state, [](auto& s) { s.status = std::nullopt; });
    });
    if (handed) flash(said);
}

void ShareCardSheet::chooseImage() const {
    platform::OpenPanel::shared().begin(platform::singleImageOptions("Choose Image"),
                                        [state = state](std::optional<std::vector<std::string>> paths) {
                                            if (!paths || paths->empty()) return;
                                            // An unreadable or oversized file changes nothing.
                                            if (auto photo = loadSharePhoto(paths->front()))
                                                update(state, [&](auto& s) { s.customImage = std::move(*photo); });
                                        });
}

void ShareCardSheet::selectBackground(const ShareBackground& preset) const {
    update(state, [](auto& s) { s.customImage = std::nullopt; });
    backgroundID.set(preset.id);
}

// Half the card where the sheet has the room; in a smaller window the whole
// card still shows, smaller, rather than cut at both sides.
ui::View previewAndControls(const ShareCardSheet& sheet, const ShareCardSheetState& state) {
    ui::ViewList rows;
    constexpr double previewWidth = ShareCardSheetState::previewWidth;
    for (double width : {previewWidth, previewWidth * 0.8, previewWidth * 0.6})
        rows.push_back(ui::HStack(ui::VerticalAlignment::top, 20, {preview(sheet, state, width), controls(sheet, state)}));
    return ui::ViewThatFits(ui::Axes::horizontalOnly(), std::move(rows));
}

ui::View ShareCardSheet::body() const {
    const ShareCardSheet unbound = *this;
    return ui::WithState<ShareCardSheetState>({}, [unbound](State state) {
        return ui::AppStorage<int>(kShareCardBackgroundKey, 0, [unbound, state](ui::Binding<int> backgroundID) {
            return ui::EnvironmentReader([=](const ui::EnvironmentValues& env) {
                ShareCardSheet sheet = unbound;
                sheet.state = state;
                sheet.backgroundID = backgroundID;
                sheet.scheme = env.colorScheme;
                const ShareCardSheetState current = state.get();
                const ShareMoment moment = sheet.moment;
                return ui::VStack(ui::HorizontalAlignment::leading, 16,
                                  {ForestPageHeader(shareSheetTitle(moment.kind), "Your Tidewell window, framed for X and LinkedIn.",
                                                    ui::EmptyView()),
                                   postingSteps(),
                                   previewAndControls(sheet, current),
                                   footer(current, sheet.dismiss)})
                    .padding(24)
                    .background(ui::View(Theme::windowBackground()))
                    .onAppear([state, moment] {
                        if (state.get().heading.empty())
                            update(state, [&](auto& st) { st.heading = limitedShareHeading(moment.defaultHeading()); });
                    })
                    .onChange(current.heading, [state](const std::string& heading) {
                        const std::string limited = limitedShareHeading(heading);
                        if (limited != heading) update(state, [&](auto& st) { st.heading = limited; });
                    });
            });
        });
    });
}

}  // namespace tidewell
