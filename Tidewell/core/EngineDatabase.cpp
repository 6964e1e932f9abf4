#include "core/EngineDatabase.h"

#include <mutex>

#include <sys/stat.h>

#include "core/AppFiles.h"
#include "foundation/ChildProcess.h"

namespace tidewell {

namespace {
std::mutex overridesMutex;
std::string executableOverride;
std::chrono::milliseconds timeoutOverride{0};

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        std::uint32_t cp;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
        else return false;
        if (i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}
}  // namespace

void setSQLiteExecutableForTesting(std::string path) {
    std::lock_guard lock(overridesMutex);
    executableOverride = std::move(path);
}

void setSQLiteTimeoutForTesting(std::chrono::milliseconds timeout) {
    std::lock_guard lock(overridesMutex);
    timeoutOverride = timeout;
}

std::optional<std::string> runSQLiteQuery(const std::string& databasePath, const std::string& sql) {
    // The shell would wait on a named pipe in the database's place until its time-out.
    struct stat st {};
    if (::stat(databasePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    platform::ChildProcess::Options options;
    std::chrono::milliseconds timeout = kSQLiteQueryTimeout;
    {
        std::lock_guard lock(overridesMutex);
        options.executable = executableOverride.empty() ? std::string(kSQLiteExecutable) : executableOverride;
        if (timeoutOverride.count() > 0) timeout = timeoutOverride;
    }
    options.arguments = {"-readonly", databasePath, sql};
    try {
        // Both pipes are drained while the shell runs; a stuck shell is
        // stopped at the time-out instead of holding up the launch restore.
        auto output = platform::ChildProcess::run(options, timeout, std::chrono::seconds(2));
        if (output.timedOut || output.standardOutput.empty()) return std::nullopt;
        return std::move(output.standardOutput);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<DashboardDTO> lastDashboardFromDatabase() {
    for (const auto& candidate : engineDatabaseCandidates()) {
        auto output = runSQLiteQuery(candidate, "SELECT json FROM scan_cache WHERE id = 1;");
        if (!output) continue;
        try {
            return decode<DashboardDTO>(*output);
        } catch (...) {
        }
    }
    return std::nullopt;
}

std::vector<std::string> splitOutputLines(std::string_view s) {
    std::vector<std::string> lines;
    if (!isValidUtf8(s)) return lines;
    std::string current;
    auto flush = [&] {
        if (!current.empty()) lines.push_back(std::move(current));
        current.clear();
    };
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            flush();
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) {
            flush();
            ++i;
        } else if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9)) {
            flush();
            i += 2;
        } else {
            current.push_back(static_cast<char>(c));
        }
    }
    flush();
    return lines;
}

namespace {
// One operation per line of the `json` column; lines that do not decode are passed over.
std::optional<std::vector<OperationDTO>> operationsQuery(const std::string& databasePath, const std::string& sql) {
    auto output = runSQLiteQuery(databasePath, sql);
    if (!output) return std::nullopt;
    std::vector<OperationDTO> history;
    for (const auto& line : splitOutputLines(*output)) {
        try {
            history.push_back(decode<OperationDTO>(line));
        } catch (...) {
        }
    }
    return history;
}
}  // namespace

std::optional<std::vector<OperationDTO>> queryOperations(const std::string& databasePath) {
    return operationsQuery(databasePath, "SELECT json FROM operations ORDER BY timestamp_unix DESC LIMIT 50;");
}

std::optional<std::vector<OperationDTO>> cleansRecordedSince(std::int64_t sinceUnix) {
    return operationsQuery(engineDatabaseCandidates().front(),
                           "SELECT json FROM operations WHERE dry_run = 0 AND timestamp_unix >= " +
                               std::to_string(sinceUnix) + " ORDER BY timestamp_unix DESC;");
}

std::vector<OperationDTO> operationsFromDatabase() {
    for (const auto& candidate : engineDatabaseCandidates()) {
        auto history = queryOperations(candidate);
        if (history && !history->empty()) return *history;
    }
    return {};
}

}  // namespace tidewell
