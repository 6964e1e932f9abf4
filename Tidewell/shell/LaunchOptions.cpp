#include "shell/LaunchOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <regex>

#include "foundation/Bundle.h"

namespace tidewell {

std::string commandLineHelp() {
    return "Usage: tidewell [option…] [tidewell: link]\n"
           "Finds development projects under the folders you allow and moves their regenerable\n"
           "folders (dependencies, build output, caches) to the Trash after a preview.\n"
           "\n"
           "  --background       start in the tray, without a window\n"
           "  --scan-on-launch   scan as soon as Tidewell starts\n"
           "  --help             print this text and exit\n"
           "  --version          print the version and exit\n"
           "\n"
           "For interface tests: --ui-testing, --window-size WIDTHxHEIGHT, --retina,\n"
           "--appearance dark|light, --present files|confirm|endofday.\n"
           "A second start while Tidewell runs brings its window forward.\n";
}

std::string versionLine() {
    return "Tidewell " + platform::Bundle::main().infoValue("CFBundleShortVersionString").value_or("(version unknown)");
}

namespace ui = platform::ui;

bool hasLaunchOption(const LaunchArguments& arguments, const std::string& option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

std::optional<std::string> launchOptionValue(const LaunchArguments& arguments, const std::string& option) {
    auto it = std::find(arguments.begin(), arguments.end(), option);
    if (it == arguments.end() || std::next(it) == arguments.end()) return std::nullopt;
    return *std::next(it);
}

std::optional<double> parseDecimal(const std::string& text) {
    static const std::regex decimal(R"([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)");
    if (!std::regex_match(text, decimal)) return std::nullopt;
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<ui::Size> windowSizeOption(const LaunchArguments& arguments) {
    const auto value = launchOptionValue(arguments, "--window-size");
    if (!value) return std::nullopt;
    std::vector<std::string> pieces;
    std::string piece;
    for (char c : *value + "x") {
        if (c != 'x') {
            piece += c;
        } else if (!piece.empty()) {
            pieces.push_back(std::move(piece));
            piece.clear();
        }
    }
    if (pieces.size() != 2) return std::nullopt;
    const auto width = parseDecimal(pieces[0]), height = parseDecimal(pieces[1]);
    if (!width || !height || *width < 900 || *height < 600) return std::nullopt;
    return ui::Size{*width, *height};
}

std::optional<PresentAction> presentOption(const LaunchArguments& arguments) {
    if (!hasLaunchOption(arguments, "--ui-testing")) return std::nullopt;
    const auto value = launchOptionValue(arguments, "--present");
    if (!value) return std::nullopt;
    if (*value == "files") return PresentAction::files;
    if (*value == "confirm") return PresentAction::confirm;
    if (*value == "endofday") return PresentAction::endOfDay;
    return std::nullopt;
}

std::optional<ProjectDTO> presentSampleProject(const std::optional<DashboardDTO>& dashboard) {
    if (!dashboard) return std::nullopt;
    for (const auto& project : dashboard->projects)
        if (!project.is_active && !project.pinned && project.reclaimable_bytes != 0) return project;
    return std::nullopt;
}

ui::Point windowSizeOrigin(ui::Point current, ui::Size size, const std::optional<ui::Rect>& retinaScreen) {
    if (!retinaScreen) return current;
    return {retinaScreen->midX() - size.width / 2, retinaScreen->midY() - size.height / 2};
}

}  // namespace tidewell
