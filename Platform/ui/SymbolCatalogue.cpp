#include "ui/SymbolCatalogue.h"

#include <array>
#include <filesystem>
#include <utility>

#include "foundation/Bundle.h"

namespace platform::ui {
namespace {

// One row per system symbol name the application draws. The build copies the
// icons named in the second column (both weights) into the bundle by reading
// this table, so keep one row per line in this exact form.
constexpr std::array<std::pair<std::string_view, std::string_view>, 62> kCatalogue{{
    {"apple.logo", "command"},  // a neutral stand-in, never a vendor's mark
    {"archivebox.fill", "archive"},
    {"arrow.clockwise", "arrow-clockwise"},
    {"arrow.down.app.fill", "arrow-square-down"},
    {"arrow.triangle.2.circlepath", "arrows-clockwise"},
    {"arrow.triangle.branch", "git-branch"},
    {"arrow.up.arrow.down.circle", "arrows-down-up"},
    {"arrow.up.arrow.down.circle.fill", "arrows-down-up"},
    {"arrow.up.forward", "arrow-up-right"},
    {"arrow.up.right.square", "arrow-square-up-right"},
    {"atom", "atom"},
    {"bell.fill", "bell"},
    {"calendar", "calendar"},
    {"checkmark.circle.fill", "check-circle"},
    {"chevron.up.chevron.down", "caret-up-down"},
    {"circle", "circle"},
    {"clock", "clock"},
    {"cylinder.fill", "cylinder"},
    {"dice", "dice-five"},
    {"ellipsis.bubble.fill", "chat-circle-dots"},
    {"exclamationmark.triangle.fill", "warning"},
    {"externaldrive", "hard-drive"},
    {"externaldrive.fill", "hard-drive"},
    {"face.smiling", "smiley"},
    {"folder", "folder"},
    {"folder.fill", "folder"},
    {"gearshape", "gear"},
    {"gearshape.fill", "gear"},
    {"hand.raised", "hand"},
    {"hare.fill", "rabbit"},
    {"hexagon.fill", "hexagon"},
    {"house.fill", "house"},
    {"internaldrive", "hard-drives"},
    {"internaldrive.fill", "hard-drives"},
    {"ipad.and.iphone", "devices"},
    {"iphone", "device-mobile"},
    {"leaf", "leaf"},
    {"leaf.circle.fill", "leaf"},
    {"leaf.fill", "leaf"},
    {"list.bullet.rectangle", "list-bullets"},
    {"lock.fill", "lock"},
    {"lock.open.fill", "lock-open"},
    {"macwindow", "app-window"},
    {"magnifyingglass", "magnifying-glass"},
    {"minus", "minus"},
    {"mug.fill", "coffee"},
    {"person.crop.circle", "user-circle"},
    {"person.fill", "user"},
    {"photo", "image"},
    {"plus", "plus"},
    {"safari", "compass"},
    {"shippingbox.fill", "package"},
    {"smartphone", "device-mobile-camera"},
    {"square.and.arrow.up", "export"},
    {"square.fill", "square"},
    {"square.stack.3d.up", "stack"},
    {"tree", "tree"},
    {"triangle.fill", "triangle"},
    {"trophy", "trophy"},
    {"wifi.exclamationmark", "wifi-x"},
    {"xmark", "x"},
    {"xmark.circle.fill", "x-circle"},
}};

constexpr std::string_view kFillSuffix = ".fill";

}  // namespace

std::optional<std::string_view> symbolIconName(std::string_view systemName) {
    for (const auto& [name, icon] : kCatalogue) {
        if (name == systemName) return icon;
    }
    return std::nullopt;
}

std::string_view symbolWeight(std::string_view systemName) {
    return systemName.ends_with(kFillSuffix) ? "fill" : "regular";
}

std::optional<std::string> symbolFilePath(std::string_view systemName,
                                          std::string_view resourceDirectory) {
    const auto icon = symbolIconName(systemName);
    // Without a known resource folder there is nowhere to look.
    if (!icon || resourceDirectory.empty()) return std::nullopt;
    std::filesystem::path path(resourceDirectory);
    path /= "symbols";
    path /= symbolWeight(systemName);
    path /= std::string(*icon) + ".svg";
    return std::filesystem::absolute(path).lexically_normal().string();
}

std::optional<std::string> symbolFilePath(std::string_view systemName) {
    return symbolFilePath(systemName, platform::Bundle::main().resourceDirectory());
}

std::vector<std::string_view> catalogueSymbolNames() {
    std::vector<std::string_view> names;
    names.reserve(kCatalogue.size());
    for (const auto& row : kCatalogue) names.push_back(row.first);
    return names;
}

}  // namespace platform::ui
