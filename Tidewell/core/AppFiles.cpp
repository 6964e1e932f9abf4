#include "core/AppFiles.h"

#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/AppSupport.h"
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
    (void)platform::writeFileAtomically(lastDashboardFilePath(), json);
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
    (void)platform::writeFileAtomically(operationsFilePath(), json);
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
