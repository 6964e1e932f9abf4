#include "projects/CleanConfirmView.h"

#include <algorithm>

#include <QString>

#include "core/AppStore.h"
#include "core/CleanRules.h"
#include "foundation/Formatters.h"
#include "foundation/Paths.h"
#include "kit/ForestButton.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/Theme.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Label.h"
#include "ui/ProgressView.h"
#include "ui/ScrollView.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

CleanConfirmContent cleanConfirmContent(bool isCleaning, bool hasReport, const std::string& cleanStatus) {
    using Kind = CleanConfirmContent::Kind;
    if (isCleaning)
        return {Kind::progress, !cleanStatus.empty() ? cleanStatus
                                : hasReport          ? "Moving to Trash\u2026"
                                                     : "Calculating\u2026"};
    if (hasReport) return {Kind::preview, ""};
    return {Kind::status, cleanStatus.empty() ? "Preparing dry-run\u2026" : cleanStatus};
}

bool confirmMovesSomething(const CleanReportDTO& report) { return hasSomethingToMove(report); }

std::string cleanTotalsText(const CleanReportDTO& report) {
    std::size_t n = 0;
    std::uint64_t bytes = 0;
    for (const auto& i : report.items) {
        if (!report.dry_run && !i.success) continue;
        ++n;
        bytes = platform::saturatingAdd(bytes, i.bytes);
    }
    return std::to_string(n) + (n == 1 ? " item" : " items") + " \u00B7 " + platform::formatByteCount(bytes) +
           " \u2192 Trash";
}

std::string notMovedText(const CleanReportDTO& report) {
    if (report.dry_run) return "";
    std::size_t left = 0, movedElsewhere = 0;
    for (const auto& i : report.items) {
        if (i.success) continue;
        ++(wasMovedByAnotherClean(i) ? movedElsewhere : left);
    }
    const auto folders = [](std::size_t n) { return std::to_string(n) + (n == 1 ? " folder" : " folders"); };
    std::string text = left ? folders(left) + " could not be moved" : "";
    if (movedElsewhere)
        text += (text.empty() ? "" : " \u00B7 ") + folders(movedElsewhere) + " already moved to the Trash by another clean";
    return text;
}

bool reportIncludesCaution(const CleanReportDTO& report) {
    return std::any_of(report.items.begin(), report.items.end(),
                       [](const CleanItemDTO& i) { return i.safetyClass == "caution"; });
}

std::string cleanItemBadge(const std::string& safetyClass) {
    // By characters, not bytes: a class from a damaged file may begin with
    // a letter of several bytes.
    const QString text = QString::fromStdString(safetyClass);
    return (text.left(1).toUpper() + text.mid(1)).toStdString();
}

std::string cleanItemName(const std::string& path) { return platform::lastPathComponent(path); }

std::vector<ProjectDTO> cleanConfirmProjects(const std::vector<ProjectDTO>& storeProjects, const ProjectDTO& project) {
    return storeProjects.empty() ? std::vector<ProjectDTO>{project} : storeProjects;
}

namespace {

ui::View progressPanel(const std::string& text) {
    ui::FrameSpec fullWidth;
    fullWidth.maxWidth = ui::infinity;
    fullWidth.alignment = ui::Alignment::leading;
    return ForestPanel(
        16, 16, false, false, std::nullopt,
        ui::HStack(ui::VerticalAlignment::center, 10, {ui::ProgressView(), ui::Text(text)}).frame(fullWidth));
}

ui::View heading(const std::vector<ProjectDTO>& projects) {
    if (projects.size() == 1)
        return ui::Text(projects.front().name).font(ui::Font::headline()).foregroundStyle(ui::ShapeStyle::secondary());
    std::string names;
    for (const auto& p : projects) names += (names.empty() ? "" : " \u00B7 ") + p.name;
    return ui::VStack(
        ui::HorizontalAlignment::leading, 4,
        {
            ui::Text(std::to_string(projects.size()) + " projects")
                .font(ui::Font::headline())
                .foregroundStyle(ui::ShapeStyle::secondary()),
            ui::Text(names).font(ui::Font::callout()).foregroundStyle(ui::ShapeStyle::secondary()).lineLimit(2),
        });
}

ui::View summaryPanel(const CleanReportDTO& report) {
    ui::ViewList lines{
        ui::HStack({
            ui::Image::systemName("leaf.fill").foregroundStyle(Theme::reclaim()).accessibilityHidden(true),
            ui::NumericText(cleanTotalsText(report))
                .font(ui::Font::system(18, ui::FontWeight::semibold, ui::FontDesign::rounded))
                .foregroundStyle(Theme::reclaim())
                .minimumScaleFactor(0.8)
                .lineLimit(2),
        }),
    };
    if (const auto failed = notMovedText(report); !failed.empty())
        lines.push_back(ui::Label(failed, "exclamationmark.triangle.fill")
                            .foregroundStyle(Theme::caution())
                            .font(ui::Font::callout())
                            .fixedSize(false, true));
    if (reportIncludesCaution(report)) {
        lines.push_back(ui::Label("Includes Caution items (node_modules, Pods, \u2026). Reinstall required after.",
                                  "exclamationmark.triangle.fill")
                            .foregroundStyle(Theme::caution())
                            .font(ui::Font::callout()));
    }
    return ForestPanel(16, 16, false, false, std::nullopt,
                       ui::VStack(ui::HorizontalAlignment::leading, 12, std::move(lines)));
}

ui::View itemRow(const CleanItemDTO& item, bool failed) {
    return ui::HStack({
                          ui::Text(cleanItemBadge(item.safetyClass))
                              .font(ui::Font::caption2().bold())
                              .foregroundStyle(item.safetyClass == "safe" ? Theme::reclaim() : Theme::caution())
                              .frame(60, std::nullopt, ui::Alignment::leading),
                          ui::Text(cleanItemName(item.path)).lineLimit(1).truncationMode(ui::TruncationMode::middle),
                          failed ? ui::Image::systemName("exclamationmark.triangle.fill")
                                       .foregroundStyle(Theme::caution())
                                       .help(item.error.value_or("Could not be moved to Trash"))
                                 : ui::EmptyView(),
                          ui::Spacer(),
                          ui::Text(platform::formatByteCount(item.bytes)).monospacedDigit(),
                      })
        .font(ui::Font::callout());
}

ui::View itemList(const CleanReportDTO& report) {
    std::vector<std::pair<std::string, ui::View>> rows;
    rows.reserve(report.items.size());
    for (std::size_t i = 0; i < report.items.size(); ++i)
        rows.emplace_back(std::to_string(i), itemRow(report.items[i], !report.dry_run && !report.items[i].success));
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    return ui::ScrollView(
               ForestPanel(12, 16, false, false, std::nullopt,
                           ui::VStack(ui::HorizontalAlignment::leading, 6, {ui::ForEachIdentified(std::move(rows))})))
        .frame(fill);
}

ui::View cancelButton(AppStore& store, const std::function<void()>& dismiss) {
    return ForestButton{"Cancel", std::nullopt, ForestButton::Tone::secondary, ui::ControlSize::large, false,
                        [&store, dismiss] {
                            store.cancelClean();
                            if (dismiss) dismiss();
                        }}
        .body();
}

ui::View buttonRow(AppStore& store, const std::function<void()>& dismiss, bool somethingToMove) {
    const bool busy = store.isCleaning.get();
    return ui::HStack(
               {
                   cancelButton(store, dismiss).disabled(busy),
                   ui::Spacer(),
                   ForestButton{"Move to Trash", std::nullopt, ForestButton::Tone::reclaim, ui::ControlSize::large,
                                false, [&store] { store.confirmClean(); }}
                       .body()
                       .disabled(busy || store.isScanning.get() || !somethingToMove),
               })
        .layoutPriority(1);
}

}  // namespace

ui::View CleanConfirmView(AppStore& store, const ProjectDTO& project, std::function<void()> dismiss) {
    const auto& report = store.pendingCleanReport.get();
    const CleanConfirmContent content =
        cleanConfirmContent(store.isCleaning.get(), report.has_value(), store.cleanStatus.get());

    ui::ViewList children{
        ForestPageHeader("Confirm clean", "These folders go to Trash. Source stays put.", ui::EmptyView())};
    switch (content.kind) {
        case CleanConfirmContent::Kind::progress:
            children.push_back(progressPanel(content.text));
            children.push_back(ui::Spacer());
            // A dry run can be left at any time; a real clean cannot.
            if (cleanConfirmMayClose(store)) children.push_back(ui::HStack({cancelButton(store, dismiss), ui::Spacer()}));
            break;
        case CleanConfirmContent::Kind::status:
            children.push_back(ui::Text(content.text).foregroundStyle(ui::ShapeStyle::secondary()));
            children.push_back(ui::Spacer());
            break;
        case CleanConfirmContent::Kind::preview:
            children.push_back(heading(cleanConfirmProjects(store.cleanConfirmProjects.get(), project)));
            children.push_back(summaryPanel(*report));
            children.push_back(itemList(*report));
            children.push_back(buttonRow(store, dismiss, confirmMovesSomething(*report)));
            break;
    }
    ui::FrameSpec fill;
    fill.maxWidth = ui::infinity;
    fill.maxHeight = ui::infinity;
    fill.alignment = ui::Alignment::topLeading;
    return ui::VStack(ui::HorizontalAlignment::leading, 16, std::move(children))
        .padding(24)
        .frame(fill)
        .background(ui::View(Theme::windowBackground()));
}

bool cleanConfirmMayClose(const AppStore& store) {
    return !store.isCleaning.get() || !store.pendingCleanReport.get().has_value();
}

ui::Binding<std::optional<ProjectDTO>> cleanConfirmPresentation(AppStore& store) {
    return ui::Binding<std::optional<ProjectDTO>>([&store] { return store.cleanConfirmProject.get(); },
                                                  [&store](std::optional<ProjectDTO> project) {
                                                      if (project || !store.cleanConfirmProject.get()) return;
                                                      if (cleanConfirmMayClose(store)) store.cancelClean();
                                                  });
}

ui::SheetOptions cleanConfirmSheetOptions(AppStore& store) {
    ui::SheetOptions options;
    options.canClose = [&store] { return cleanConfirmMayClose(store); };
    // Escape asks the store to cancel; during a real clean, nothing happens.
    options.onCancel = [&store] {
        if (cleanConfirmMayClose(store)) store.cancelClean();
    };
    options.frame.minWidth = 420, options.frame.idealWidth = 540, options.frame.maxWidth = 640;
    options.frame.minHeight = 360, options.frame.idealHeight = 460, options.frame.maxHeight = 560;
    return options;
}

}  // namespace tidewell
