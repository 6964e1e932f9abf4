#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

// System symbol names ("leaf.fill", "clock", …) map to icons of the bundled
// icon set. A name ending in ".fill" takes the filled weight of its icon, any
// other name the regular weight. Files live in the bundle's resource folder
// under "symbols/regular/" and "symbols/fill/", named by the icon.

// The icon that stands for a symbol name, or none for a name the catalogue
// does not know.
std::optional<std::string_view> symbolIconName(std::string_view systemName);

// "fill" or "regular": the weight folder a symbol name draws from.
std::string_view symbolWeight(std::string_view systemName);

// The absolute path of the SVG for a symbol name inside `resourceDirectory`,
// or none when the name is unknown or the folder is not known (empty). The
// file itself is not checked.
std::optional<std::string> symbolFilePath(std::string_view systemName,
                                          std::string_view resourceDirectory);

// The same, inside the main bundle's resource folder.
std::optional<std::string> symbolFilePath(std::string_view systemName);

// Every symbol name the catalogue maps, in table order.
std::vector<std::string_view> catalogueSymbolNames();

}  // namespace platform::ui
