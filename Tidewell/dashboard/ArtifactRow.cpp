#include "dashboard/ArtifactRow.h"

#include "foundation/Formatters.h"
#include "kit/ForestIconButton.h"
#include "kit/StackVocabulary.h"
#include "kit/Theme.h"
#include "ui/ContentTransition.h"
#include "ui/Image.h"
#include "ui/Shape.h"
#include "ui/Text.h"

namespace tidewell {

namespace ui = platform::ui;

bool artifactIsSafe(const std::string& safetyClass) { return safetyClass == "safe"; }

ui::Color artifactSafetyTint(const std::string& safetyClass) {
    return artifactIsSafe(safetyClass) ? Theme::reclaim() : Theme::caution();
}

std::string artifactSafetyBadge(const std::string& safetyClass) {
    return artifactIsSafe(safetyClass) ? "Safe" : "Caution";
}

ui::View ArtifactRow(AppStore& /*store*/, const ArtifactDTO& artifact) {
    const ui::Color tint = artifactSafetyTint(artifact.safetyClass);
    const std::string path = artifact.absolute_path;
    return ui::HStack(ui::VerticalAlignment::center, 10,
                      {
                          ui::Image::systemName("folder.fill").foregroundStyle(tint),
                          ui::VStack(ui::HorizontalAlignment::leading, 1,
                                     {
                                         ui::Text(artifact.relative_path)
                                             .font(ui::Font::callout().design(ui::FontDesign::monospaced))
                                             .lineLimit(1)
                                             .truncationMode(ui::TruncationMode::middle)
                                             .minimumScaleFactor(0.85),
                                         ui::Text(artifactSafetyBadge(artifact.safetyClass))
                                             .font(ui::Font::caption2().bold())
                                             .foregroundStyle(tint),
                                     }),
                          ui::Spacer(8),
                          ui::NumericText(platform::formatByteCount(artifact.size_bytes))
                              .font(ui::Font::callout().weight(ui::FontWeight::semibold).monospacedDigit()),
                          ForestIconButton{"arrow.up.right.square", "Show this folder in Files", "Show in Files",
                                           [path] { revealInFinder(path); }},
                      })
        .padding(ui::EdgeInsets{6, 8, 6, 8})
        .background(ui::RoundedRectangle(8, ui::RoundedCornerStyle::continuous).fill(ui::Color::primary().opacity(0.04)));
}

}  // namespace tidewell
