#include "kit/StackVocabulary.h"

#include <QString>

#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "core/AppStore.h"
#include "core/FolderLook.h"
#include "core/ScanProgressRules.h"
#include "desktop/Workspace.h"
#include "kit/Theme.h"
#include "runtime/MainActor.h"
#include "runtime/Task.h"

namespace tidewell {
namespace {

using platform::ui::Color;

struct StackEntry {
    std::string_view id;
    std::string_view displayName;
    std::string_view symbol;
    int tint[3];         // of 255
    double iconTint[3];  // fractions
};

constexpr std::array<StackEntry, 17> kStacks{{
    {"flutter", "Flutter", "triangle.fill", {62, 198, 243}, {0.02, 0.64, 0.91}},
    {"react_native", "React Native", "atom", {78, 174, 120}, {0.36, 0.28, 0.90}},
    {"android", "Android", "smartphone", {232, 160, 32}, {0.22, 0.70, 0.29}},
    {"ios", "iOS", "apple.logo", {142, 116, 216}, {0, 0.48, 1.0}},
    {"node", "Node / JS", "hexagon.fill", {139, 195, 74}, {0.22, 0.62, 0.24}},
    {"php", "PHP", "ellipsis.bubble.fill", {108, 124, 219}, {0.48, 0.32, 0.80}},
    {"python", "Python", "leaf.fill", {79, 143, 191}, {0.22, 0.42, 0.72}},
    {"rust", "Rust", "gearshape.fill", {208, 106, 58}, {0.87, 0.32, 0.14}},
    {"go", "Go", "hare.fill", {46, 196, 206}, {0, 0.67, 0.78}},
    {"node_global", "Node Global", "shippingbox.fill", {46, 125, 50}, {0.10, 0.45, 0.20}},
    {"android_packages", "APK & AAB", "arrow.down.app.fill", {124, 179, 66}, {0.18, 0.55, 0.28}},
    {"ios_archives", "iOS Archives", "archivebox.fill", {92, 107, 192}, {0.35, 0.40, 0.85}},
    {"homebrew", "Homebrew", "mug.fill", {245, 166, 35}, {0.96, 0.65, 0.14}},
    {"pip", "pip", "cylinder.fill", {61, 126, 170}, {0.20, 0.45, 0.70}},
    {"device_support", "Device Support", "iphone", {120, 144, 156}, {0.45, 0.45, 0.50}},
    {"android_emulators", "Emulators", "ipad.and.iphone", {38, 166, 154}, {0.15, 0.62, 0.38}},
    {"tool_caches", "Tool Caches", "externaldrive.fill", {141, 155, 134}, {0.40, 0.48, 0.42}},
}};

constexpr std::string_view kFallbackSymbol = "square.fill";

const StackEntry* find(std::string_view id) {
    for (const auto& entry : kStacks) {
        if (entry.id == id) return &entry;
    }
    return nullptr;
}

}  // namespace

const std::vector<std::string_view>& knownStackIds() {
    static const std::vector<std::string_view> ids = [] {
        std::vector<std::string_view> all;
        for (const auto& entry : kStacks) all.push_back(entry.id);
        return all;
    }();
    return ids;
}

std::string capitalizedWords(std::string_view text) {
    const QString source = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QString result;
    result.reserve(source.size());
    bool wordStart = true;
    for (qsizetype i = 0; i < source.size();) {
        // One code point at a time, so letters outside the basic plane keep both halves.
        const qsizetype length =
            source.at(i).isHighSurrogate() && i + 1 < source.size() && source.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QString character = source.mid(i, length);
        if (character.size() == 1 && character.at(0).isSpace()) {
            result += character;
            wordStart = true;
        } else {
            result += wordStart ? character.toUpper() : character.toLower();
            wordStart = false;
        }
        i += length;
    }
    return result.toStdString();
}

std::string stackDisplayName(std::string_view id) {
    if (const auto* entry = find(id)) return std::string(entry->displayName);
    std::string spaced(id);
    for (char& c : spaced) {
        if (c == '_') c = ' ';
    }
    return capitalizedWords(spaced);
}

Color stackTint(std::string_view id) {
    if (const auto* entry = find(id)) return Color::rgb255(entry->tint[0], entry->tint[1], entry->tint[2]);
    return Color::rgb255(107, 191, 110);
}

Color stackIconTint(std::string_view id) {
    if (const auto* entry = find(id)) {
        return Color::sRGB(entry->iconTint[0], entry->iconTint[1], entry->iconTint[2]);
    }
    return Theme::accent();
}

std::string stackSymbol(std::string_view id) {
    if (const auto* entry = find(id)) return std::string(entry->symbol);
    return std::string(kFallbackSymbol);
}

void revealInFinder(const std::string& path, std::function<void()> done) {
    const auto finish = [done = std::move(done)] {
        if (done) done();
    };
    // An empty path names no file; the file URL of "" would be the working folder.
    if (path.empty()) return finish();
    std::error_code error;
    std::filesystem::path target = std::filesystem::absolute(path, error);
    if (error) return finish();
    target = target.lexically_normal();
    if (!target.has_filename() && target != target.root_path()) target = target.parent_path();
    const std::string item = target.string();
    const std::string parent = target.parent_path().string();
    // A project on a mount whose server stopped answering would hold the
    // window: the folder is looked at by a task, and only its answer comes
    // back. The parent is asked only when the folder is gone, so a silent
    // share is asked once.
    platform::detachTask(platform::TaskPriority::userInitiated, [item, parent, finish] {
        const auto answer = [](const std::string& path) -> std::optional<bool> {
            const auto looks = lookAtFolders({path});
            if (looks.silent(path)) return std::nullopt;
            const auto* facts = looks.facts(path);
            return facts && facts->statError == 0;
        };
        std::string shown = item;
        auto exists = answer(item);
        if (exists && !*exists) {
            shown = parent;
            exists = answer(parent);
        }
        platform::postToMain([shown, exists, finish] {
            if (!exists) {
                AppStore::showErrorInBanner(revealSilentText(shown));
                return finish();
            }
            if (!*exists) return finish();
            // A desktop that cannot show it never fails in silence.
            const std::filesystem::path named(shown);
            const std::string name = named.has_filename() ? named.filename().string() : shown;
            platform::Workspace::shared().revealPath(shown, [name](const std::string& reason) {
                AppStore::showErrorInBanner("Could not show " + name + " in Files: " + reason + ".");
            });
            finish();
        });
    });
}

}  // namespace tidewell
