#pragma once
// The launch options of the application, read from the argument list: an
// option is present when one argument equals its text exactly, and an option
// with a value takes the argument right after it.

#include <optional>
#include <string>
#include <vector>

#include "core/EngineRecords.h"
#include "ui/Geometry.h"

namespace tidewell {

using LaunchArguments = std::vector<std::string>;

bool hasLaunchOption(const LaunchArguments& arguments, const std::string& option);
// The argument after the first `option`; none when absent or last.
std::optional<std::string> launchOptionValue(const LaunchArguments& arguments, const std::string& option);

// A decimal number as the window-size option accepts it: digits with an
// optional sign, fraction and exponent. Hexadecimal forms, "inf", "nan" and
// values too large to be finite are refused.
std::optional<double> parseDecimal(const std::string& text);

// "--window-size WxH": the size when both pieces are decimal numbers and the
// size is at least 900 × 600; none otherwise (small values are ignored, not clamped).
std::optional<platform::ui::Size> windowSizeOption(const LaunchArguments& arguments);

enum class PresentAction { files, confirm, endOfDay };
// "--present", only with "--ui-testing"; unknown values present nothing.
std::optional<PresentAction> presentOption(const LaunchArguments& arguments);

// The project the "--present" sheets open with: the first that is neither
// active nor pinned and has something to reclaim.
std::optional<ProjectDTO> presentSampleProject(const std::optional<DashboardDTO>& dashboard);

// What "--help" prints: the usage and the options.
std::string commandLineHelp();
// What "--version" prints: "Tidewell " and the version of the build.
std::string versionLine();

// Where the resized window goes: its own origin, or centred in the visible
// frame of the first screen of scale 2 or more when "--retina" asks for it.
platform::ui::Point windowSizeOrigin(platform::ui::Point current, platform::ui::Size size,
                                     const std::optional<platform::ui::Rect>& retinaScreen);

}  // namespace tidewell
