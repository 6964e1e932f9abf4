#include "projects/ActivityTimelineRow.h"

#include <algorithm>
#include <cctype>

#include <QString>
#include <ctime>

#include "core/AppStore.h"
#include "foundation/Formatters.h"
#include "foundation/Paths.h"
#include "kit/IconTile.h"
#include "kit/SizeClass.h"
#include "kit/SoftPressButtonStyle.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "kit/ForestSpring.h"
#include "projects/TimelineRail.h"
#include "ui/Animation.h"
#include "ui/Button.h"
#include "ui/Image.h"
#include "ui/Menu.h"
#include "ui/Shape.h"
#include "ui/State.h"
#include "ui/Text.h"
#include "ui/Transition.h"

namespace tidewell {

namespace ui = platform::ui;

namespace {

bool ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Letter case ignored in every script; plain ASCII, the usual case, is
// compared byte by byte without a conversion.
bool equalIgnoringCase(const std::string& a, const std::string& b) {
    const auto unicode = [&] {
        return QString::compare(QString::fromStdString(a), QString::fromStdString(b), Qt::CaseInsensitive) == 0;
    };
    // The cases of a letter may differ in length.
    if (a.size() != b.size()) return !(ascii(a) && ascii(b)) && unicode();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x == y || std::tolower(x) == std::tolower(y)) continue;
        return (x | y) >= 0x80 && unicode();
    }
    return true;
}

std::string lowercased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

ui::FrameSpec fillWidth(ui::Alignment alignment) {
    ui::FrameSpec f;
    f.maxWidth = ui::infinity;
    f.alignment = alignment;
    return f;
}

void reveal(const std::optional<std::string>& path) {
    if (path) revealInFinder(*path);
}

ui::View mainColumn(const ActivityRowTexts& t, bool compact) {
    ui::ViewList project;
    if (t.stackType) project.push_back(IconTile(*t.stackType, 20, 5).help(stackDisplayName(*t.stackType)));
    project.push_back(ui::Text(t.projectName).font(ui::Font::callout()).lineLimit(1).minimumScaleFactor(0.8));

    ui::ViewList rows;
    rows.push_back(ui::Text(t.title).font(ui::Font::system(15, ui::FontWeight::semibold)));
    rows.push_back(ui::HStack(ui::VerticalAlignment::center, 8, std::move(project)));
    if (compact)
        rows.push_back(ui::Text(t.dayText).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()));
    if (t.projectPath)
        rows.push_back(ui::Text(*t.projectPath)
                           .font(ui::Font::caption().design(ui::FontDesign::monospaced))
                           .foregroundStyle(ui::ShapeStyle::secondary())
                           .lineLimit(1)
                           .truncationMode(ui::TruncationMode::middle)
                           .help(*t.projectPath));
    if (t.previewNote)
        rows.push_back(ui::HStack(ui::VerticalAlignment::firstTextBaseline, 6,
                                  {
                                      ui::Text("\u2514")
                                          .font(ui::Font::caption().design(ui::FontDesign::monospaced))
                                          .foregroundStyle(ui::ShapeStyle::tertiary())
                                          .accessibilityHidden(),
                                      ui::Text(*t.previewNote)
                                          .font(ui::Font::caption())
                                          .foregroundStyle(ui::ShapeStyle::secondary()),
                                  })
                           .padding(ui::Edge::top, 4));
    return ui::VStack(ui::HorizontalAlignment::leading, 3, std::move(rows));
}

ui::View figureLabel(const ActivityRowTexts& t) {
    return ui::Text(t.figureLabel).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary());
}

ui::View fullLayout(const ActivityRowTexts& t, ui::Color tint, bool above, bool below, bool hovered) {
    const ui::View timeColumn =
        ui::VStack(ui::HorizontalAlignment::trailing, 2,
                   {
                       ui::Text(t.clockText).font(ui::Font::system(13, ui::FontWeight::semibold).monospacedDigit()),
                       ui::Text(t.dayText).font(ui::Font::caption2()).foregroundStyle(ui::ShapeStyle::secondary()),
                   })
            .frame(76, std::nullopt, ui::Alignment::trailing)
            .padding(ui::Edges::vertical(), 16);

    ui::FrameSpec railWidth;
    railWidth.minWidth = railWidth.maxWidth = 24;
    railWidth.maxHeight = ui::infinity;
    const ui::View main = mainColumn(t, false)
                              .frame(fillWidth(ui::Alignment::leading))
                              .padding(ui::Edges::vertical(), 16)
                              .padding(ui::Edge::leading, 32)
                              .overlay(TimelineRail(above, below, tint, 25)
                                           .frame(railWidth)
                                           .allowsHitTesting(false)
                                           .accessibilityHidden(),
                                       ui::Alignment::leading);

    ui::FrameSpec figuresWidth;
    figuresWidth.minWidth = 76;
    figuresWidth.alignment = ui::Alignment::trailing;
    const auto path = t.projectPath;
    const ui::View revealButton =
        softPressButtonStyle(ui::Button(ui::HStack(ui::VerticalAlignment::center, 4,
                                                   {ui::Image::systemName("arrow.up.forward"), ui::Text("Show in Files")})
                                            .font(ui::Font::caption().weight(ui::FontWeight::semibold))
                                            .foregroundStyle(Theme::accent()),
                                        [path] { reveal(path); }))
            .help("Reveal this project in Files");
    const ui::View actions =
        ui::HStack(ui::VerticalAlignment::center, 14,
                   {
                       ui::TransitionIf(hovered && path.has_value(), ui::Transition::opacity(), revealButton),
                       ui::VStack(ui::HorizontalAlignment::trailing, 1,
                                  {
                                      ui::Text(t.figureText)
                                          .font(ui::Font::system(15, ui::FontWeight::bold).monospacedDigit())
                                          .foregroundStyle(tint),
                                      figureLabel(t),
                                  })
                           .frame(figuresWidth),
                   })
            .padding(ui::Edges::vertical(), 16);

    return ui::HStack(ui::VerticalAlignment::top, 16, {timeColumn, main, actions});
}

ui::View compactLayout(const ActivityRowTexts& t, ui::Color tint) {
    return ui::HStack(ui::VerticalAlignment::top, 12,
                      {
                          mainColumn(t, true).frame(fillWidth(ui::Alignment::leading)).padding(ui::Edges::vertical(), 12),
                          ui::VStack(ui::HorizontalAlignment::trailing, 4,
                                     {
                                         ui::Text(t.clockText).font(
                                             ui::Font::caption().weight(ui::FontWeight::semibold).monospacedDigit()),
                                         ui::Text(t.figureText)
                                             .font(ui::Font::system(13, ui::FontWeight::bold).monospacedDigit())
                                             .foregroundStyle(tint)
                                             .lineLimit(1)
                                             .minimumScaleFactor(0.7),
                                         figureLabel(t),
                                     })
                              .padding(ui::Edges::vertical(), 12),
                      });
}

}  // namespace

std::optional<std::string> activityStackType(const std::optional<std::string>& projectPath,
                                             const std::optional<DashboardDTO>& dashboard) {
    if (!projectPath || !dashboard) return std::nullopt;
    const std::string wanted = platform::standardizePath(*projectPath);
    for (const auto& project : dashboard->projects) {
        // Every row walks the whole scan on each redraw: a path that is
        // already standard is compared as it is, without a copy.
        const bool equal = mayNeedStandardizing(project.path)
                               ? equalIgnoringCase(platform::standardizePath(project.path), wanted)
                               : equalIgnoringCase(project.path, wanted);
        if (!equal) continue;
        if (project.types.empty()) return std::nullopt;
        return project.types.front();
    }
    return std::nullopt;
}

ActivityRowTexts activityRowTexts(const ActivitySession& session, const std::optional<DashboardDTO>& dashboard,
                                  std::int64_t now) {
    ActivityRowTexts t;
    // An empty path counts as none, so no empty line and no reveal of "".
    if (session.cleanup) t.projectPath = presentPath(session.cleanup->project_path);
    if (!t.projectPath && session.preview) t.projectPath = presentPath(session.preview->project_path);
    t.projectName = t.projectPath ? platform::lastPathComponent(*t.projectPath) : "Unknown project";
    if (t.projectName.empty()) t.projectName = "Unknown project";
    t.isClean = session.cleanup.has_value();
    t.title = t.isClean ? "Moved to Trash" : "Dry-run";
    t.figureLabel = t.isClean ? "Reclaimed" : "Preview";
    const std::uint64_t figure =
        t.isClean ? session.cleanup->bytes_reclaimed : (session.preview ? session.preview->bytes_reclaimed : 0);
    t.figureText = platform::formatByteCount(figure);
    if (session.cleanup && session.preview)
        t.previewNote = "Previewed " + platform::formatByteCount(session.preview->bytes_reclaimed) + " before cleanup";
    t.stackType = activityStackType(t.projectPath, dashboard);
    t.clockText = activityTimeFormatter().string(session.sessionTime());
    t.dayText = rowDateLabel(session.sessionTime(), now);
    return t;
}

std::string accessibilitySummary(const ActivityRowTexts& t) {
    std::string label = t.clockText + ", " + t.dayText + ", " + t.title + ", " + t.projectName + ", " + t.figureText +
                        " " + lowercased(t.figureLabel);
    if (t.projectPath) label += ", " + *t.projectPath;
    if (t.previewNote) label += ", " + *t.previewNote;
    if (t.stackType) label += ", " + stackDisplayName(*t.stackType);
    return label;
}

std::optional<ShareMoment> activityShareMoment(const ActivitySession& session) {
    if (!session.cleanup || session.cleanup->bytes_reclaimed == 0) return std::nullopt;
    return ShareMoment::make(ShareMoment::Kind::clean, session.cleanup->bytes_reclaimed, 1);
}

ui::View ActivityTimelineRow(AppStore& store, const ActivitySession& session, bool showsLineAbove,
                             bool showsLineBelow) {
    const ActivityRowTexts t = activityRowTexts(session, store.dashboard.get(), std::time(nullptr));
    const ui::Color tint = t.isClean ? Theme::reclaim() : Theme::accent();

    std::vector<ui::MenuItem> menu;
    if (t.projectPath) menu.push_back({"Show in Files", [path = t.projectPath] { reveal(path); }});
    if (activityShareMoment(session))
        menu.push_back({"Share This Clean\u2026", [&store, session] {
                            // A fresh moment (and id) for every share.
                            if (auto moment = activityShareMoment(session)) store.presentShare(*moment);
                        }});

    return ui::WithState<bool>(false, [=](ui::Binding<bool> hovered) {
        return ui::EnvironmentReader([=](const ui::EnvironmentValues& env) {
            const bool compact = env.get<WidthClassKey>() == WidthClass::compact;
            const bool reduceMotion = env.reduceMotion;
            const ui::View layout =
                compact ? compactLayout(t, tint) : fullLayout(t, tint, showsLineAbove, showsLineBelow, hovered.get());
            const ui::Shape background = ui::RoundedRectangle(12, ui::RoundedCornerStyle::continuous);
            return layout.padding(ui::Edges::horizontal(), 6)
                .background(background.fill(hovered.get() ? ui::Color::primary().opacity(0.05) : ui::Color::clear()))
                .contentShape(ui::Rectangle())
                .onHover([hovered, reduceMotion](bool inside) {
                    const std::optional<ui::Animation> spring = reduceMotion ? std::nullopt : std::optional(forestSpring());
                    ui::withAnimation(spring, [&] { hovered.set(inside); });
                })
                .modifier(ui::contextMenu(menu))
                .accessibilityElement(ui::AccessibilityChildBehavior::combine)
                .accessibilityLabel(accessibilitySummary(t))
                .accessibilityAction("Show in Files", [path = t.projectPath] { reveal(path); });
        });
    });
}

}  // namespace tidewell
