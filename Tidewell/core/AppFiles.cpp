#include "core/AppFiles.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <utility>

#include "core/AppSupport.h"
#include "core/FolderAccess.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace tidewell {

namespace fs = std::filesystem;

namespace {
std::string inAppSupport(const char* name) {
    return platform::appendPathComponent(appSupportDirectory(), name);
}

bool isFile(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}
}  // namespace

namespace {
// What the user loses while a file cannot be saved, by the file's name.
const char* whatIsSavedIn(const std::string& path) {
    const auto name = platform::lastPathComponent(path);
    if (name == kLastDashboardFileName) return "scan result";
    if (name == kOperationsFileName) return "clean history";
    if (name == kBookmarksFileName) return "folder permissions";
    return "data";
}

// Why a save may not go to `path`, and whether the file cannot even be read
// (something that is no regular file stands there).
struct Refusal {
    std::string why;
    bool unreadable = false;
};
std::optional<Refusal> whySaveRefused(const std::string& path) {
    if (auto why = platform::whyNoRegularFile(path)) return Refusal{*why, true};
    int error = 0;
    const auto file = platform::followLinks(path, &error);
    if (!file) return Refusal{std::generic_category().message(error), true};
    // A link to a file not there leads where the user put nothing: a file
    // made there, or in the link's place, would not be where they look.
    if (*file != path && !isFile(*file)) return Refusal{"it is a symbolic link to " + *file + ", which does not exist"};
    if (auto why = platform::whyNotReplaceable(path, platform::RootSaves::asTheHomeOwner)) return Refusal{*why};
    return std::nullopt;
}

std::string refusalSentence(const std::string& path, const Refusal& refusal) {
    return "The file " + path + (refusal.unreadable ? " cannot be read: " : " cannot be saved: ") +
           midSentence(refusal.why) + ". Tidewell leaves it as it is and saves no " + whatIsSavedIn(path) + " there.";
}

// The refusals told so far, by file: each is told once, until a save there
// goes through or the reason changes.
struct Told {
    std::mutex lock;
    std::map<std::string, std::string> reasons;
    std::function<void(std::string)> tell;
};
Told& told() {
    static Told state;
    return state;
}

// Notes the outcome of a look at `path`; the sentence to tell when it is a
// refusal not told yet.
std::optional<std::string> noteRefusal(const std::string& path, const std::optional<Refusal>& refusal) {
    auto& state = told();
    std::lock_guard lock(state.lock);
    if (!refusal) {
        state.reasons.erase(path);
        return std::nullopt;
    }
    auto& reason = state.reasons[path];
    if (reason == refusal->why) return std::nullopt;
    reason = refusal->why;
    return refusalSentence(path, *refusal);
}
}  // namespace

std::string midSentence(std::string reason) {
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z') reason[0] = char(reason[0] - 'A' + 'a');
    return reason;
}

std::string settingsUnsavedNotice(const std::string& file, const std::string& why) {
    return "The settings file " + file + " cannot be saved: " + midSentence(why) +
           ". Tidewell runs with its settings and keeps changes only until it quits.";
}

void setAppFileRefusalHandler(std::function<void(std::string sentence)> tell) {
    auto& state = told();
    std::lock_guard lock(state.lock);
    state.tell = std::move(tell);
}

bool saveAppFile(const std::string& path, std::string_view contents) {
    const auto refusal = whySaveRefused(path);
    if (const auto sentence = noteRefusal(path, refusal)) {
        std::function<void(std::string)> tell;
        {
            auto& state = told();
            std::lock_guard lock(state.lock);
            tell = state.tell;
        }
        if (tell) tell(*sentence);
    }
    if (refusal) return false;
    // Through a link (a dotfiles folder's), the file it points to is written
    // and the link stays.
    return platform::writeFileAtomically(platform::followLinks(path).value_or(path), contents);
}

std::string appFilesNotice() {
    std::string text;
    for (const auto& path : {lastDashboardFilePath(), operationsFilePath(), bookmarksFilePath()}) {
        const auto refusal = whySaveRefused(path);
        (void)noteRefusal(path, refusal);
        if (!refusal) continue;
        if (!text.empty()) text += " ";
        text += refusalSentence(path, *refusal);
    }
    return text;
}

std::string lastDashboardFilePath() { return inAppSupport(kLastDashboardFileName); }
std::string operationsFilePath() { return inAppSupport(kOperationsFileName); }

std::vector<std::string> engineDatabaseCandidates() {
    using platform::appendPathComponent;
    const auto home = platform::homeDirectory();
    return {
        inAppSupport(kEngineDatabaseFileName),
        appendPathComponent(home, "Library/Application Support/com.Tidewell.Tidewell/tidewell.sqlite"),
        appendPathComponent(home, "Library/Application Support/Tidewell.Tidewell/tidewell.sqlite"),
        appendPathComponent(platform::currentDirectory(), ".tidewell/tidewell.sqlite"),
    };
}

void migrateLegacyDatabase() {
    const auto candidates = engineDatabaseCandidates();
    const auto& target = candidates[0];
    if (isFile(target)) return;
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        const auto& source = candidates[i];
        if (!isFile(source)) continue;
        std::error_code ec;
        platform::createDirectories(platform::deletingLastPathComponent(target));
        // A database in write-ahead mode lives in three files; the companions
        // go first so the main file's arrival marks a complete copy.
        for (const char* companion : {"-wal", "-shm"}) {
            if (isFile(source + companion))
                fs::copy_file(source + companion, target + companion, fs::copy_options::overwrite_existing, ec);
        }
        fs::copy_file(source, target, fs::copy_options::none, ec);
        return;  // only the first existing older database is ever tried
    }
}

namespace {
// Scans, cleans and the launch restore write the dashboard file from
// different threads; the restore's compare-and-write must not interleave.
std::mutex& dashboardFileLock() {
    static std::mutex lock;
    return lock;
}

void writeDashboard(const DashboardDTO& dashboard) {
    std::string json;
    try {
        json = encode(dashboard);
    } catch (...) {
        return;
    }
    (void)saveAppFile(lastDashboardFilePath(), json);
}
}  // namespace

void saveLastDashboard(const DashboardDTO& dashboard) {
    std::lock_guard lock(dashboardFileLock());
    writeDashboard(dashboard);
}

bool saveLastDashboardUnlessNewerOnFile(const DashboardDTO& dashboard) {
    std::lock_guard lock(dashboardFileLock());
    if (auto onFile = readLastDashboardFile(); onFile && onFile->scanned_at_unix >= dashboard.scanned_at_unix)
        return false;
    writeDashboard(dashboard);
    return true;
}

void saveOperations(const std::vector<OperationDTO>& history) {
    std::string json;
    try {
        json = encodeArray(history);
    } catch (...) {
        return;
    }
    (void)saveAppFile(operationsFilePath(), json);
}

std::optional<DashboardDTO> readLastDashboardFile() {
    auto text = platform::readFileContents(lastDashboardFilePath());
    if (!text) return std::nullopt;
    try {
        return decode<DashboardDTO>(*text);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::vector<OperationDTO>> readOperationsFile() {
    auto text = platform::readFileContents(operationsFilePath());
    if (!text) return std::nullopt;
    try {
        return decodeArray<OperationDTO>(*text);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace tidewell
