#include "projects/ProjectFilesSheet.h"

#include <algorithm>

#include "core/AppStore.h"
#include "dashboard/ArtifactRow.h"
#include "foundation/Formatters.h"
#include "kit/ForestButton.h"
#include "kit/ForestEmptyState.h"
#include "kit/ForestPageHeader.h"
#include "kit/ForestPanel.h"
#include "kit/IconTile.h"
#include "kit/ReclaimButton.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "projects/RowKeys.h"
#include "ui/Image.h"
#include "ui/Label.h"
#include "ui/ScrollView.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

std::vector<ArtifactDTO> sortedArtifacts(const ProjectDTO& project) {
    std::vector<ArtifactDTO> kept;
    for (const auto& a : project.artifacts)
        if (a.exists && a.size_bytes != 0) kept.push_back(a);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const ArtifactDTO& a, const ArtifactDTO& b) { return a.size_bytes > b.size_bytes; });
    return kept;
}

std::string folderCountText(std::size_t count) { return std::to_string(count) + (count == 1 ? " folder" : " folders"); }

std::string filesSheetCleanTitle(const ProjectDTO& project) {
    return project.reclaimable_bytes == 0 ? "Already cleaned" : "Clean";
}

bool filesSheetCanClean(const ProjectDTO& project, bool storeBusy) {
    // While a scan or clean runs the store would refuse the parked request.
    return !storeBusy && !project.is_active && !project.pinned && project.reclaimable_bytes != 0;
}

void parkCleanAndClose(AppStore& store, const ProjectDTO& project) {
    // Parked before the sheet closes, so the main window's close handler finds it.
    store.queuedClean = AppStore::QueuedClean{{project}, true};
    store.filesPopupProject = std::nullopt;
}

namespace {

ui::View folderList(AppStore& store, const ProjectDTO& project, const std::vector<ArtifactDTO>& artifacts) {
    std::vector<std::string> paths;
    for (const auto& a : artifacts) paths.push_back(a.absolute_path);
    const auto keys = uniqueRowKeys(paths);
    std::vector<std::pair<std::string, ui::View>> rows;
    for (std::size_t i = 0; i < artifacts.size(); ++i) rows.emplace_back(keys[i], ArtifactRow(store, artifacts[i]));
    ui::FrameSpec listHeight;
    listHeight.maxHeight = 240;
    return ForestPanel(
        12, 16, false, false, std::nullopt,
        ui::VStack(ui::HorizontalAlignment::leading, 8,
                   {
                       ui::HStack(ui::VerticalAlignment::center, std::nullopt,
                                  {
                                      ui::Text(folderCountText(artifacts.size())).font(ui::Font::headline()),
                                      ui::Spacer(),
                                      ui::Text(platform::formatByteCount(project.reclaimable_bytes))
                                          .font(ui::Font::system(18, ui::FontWeight::semibold, ui::FontDesign::rounded))
                                          .foregroundStyle(Theme::reclaim()),
                                  }),
                       ui::ScrollView(
                           ui::VStack(ui::HorizontalAlignment::leading, 6, {ui::ForEachIdentified(std::move(rows))}))
                           .frame(listHeight),
                   }));
}

}  // namespace

ui::View ProjectFilesSheet(AppStore& store, std::function<void()> dismiss, const ProjectDTO& project) {
    const auto artifacts = sortedArtifacts(project);

    ui::ViewList projectLine;
    if (!project.types.empty()) projectLine.push_back(IconTile(project.types.front(), 32, 8));
    projectLine.push_back(ui::Text(project.path)
                              .font(ui::Font::system(ui::TextStyle::caption, ui::FontDesign::monospaced))
                              .foregroundStyle(ui::ShapeStyle::secondary())
                              .textSelection(true)
                              .lineLimit(2));

    ui::FrameSpec emptyHeight;
    emptyHeight.minHeight = 180;
    ui::ViewList blocks{
        ForestPageHeader(project.name, "Folders that can move to Trash. Source stays put.", ui::EmptyView()),
        ui::HStack(ui::VerticalAlignment::center, 10, std::move(projectLine)),
        artifacts.empty() ? ForestEmptyState("leaf.fill", "Nothing to reclaim",
                                             "This project has no Safe or Caution folders sized for cleaning.")
                                .frame(emptyHeight)
                          : folderList(store, project, artifacts),
    };
    if (project.caution_bytes != 0) {
        blocks.push_back(ui::Label("Caution folders (node_modules, Pods, \u2026) need a reinstall after cleaning.",
                                   "exclamationmark.triangle.fill")
                             .font(ui::Font::callout())
                             .foregroundStyle(Theme::caution()));
    }
    const std::string path = project.path;
    blocks.push_back(ui::HStack(ui::VerticalAlignment::center, std::nullopt,
                                {
                                    ForestButton{"Close", std::nullopt, ForestButton::Tone::secondary,
                                                 ui::ControlSize::regular, false, dismiss},
                                    ForestButton{"Show in Files", std::string("folder"), ForestButton::Tone::secondary,
                                                 ui::ControlSize::regular, false, [path] { revealInFinder(path); }},
                                    ui::Spacer(),
                                    ReclaimButton{filesSheetCleanTitle(project), false,
                                                  [&store, project] { parkCleanAndClose(store, project); }}
                                        .body()
                                        .disabled(!filesSheetCanClean(
                                            project, store.isScanning.get() || store.isCleaning.get())),
                                }));

    ui::FrameSpec size;
    size.minWidth = 520;
    size.minHeight = 420;
    size.alignment = ui::Alignment::topLeading;
    return ui::VStack(ui::HorizontalAlignment::leading, 16, std::move(blocks))
        .padding(24)
        .frame(size)
        .background(ui::View(Theme::windowBackground()));
}

}  // namespace tidewell
