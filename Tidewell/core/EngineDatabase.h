#pragma once
// Reading the engine's database, read-only, through the sqlite3 shell.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

// Runs `/usr/bin/sqlite3 -readonly <database> <sql>` once; its standard output
// when not empty. Nothing when no regular file is there, the shell cannot start, or
// it does not finish within the time-out (it is then stopped).
std::optional<std::string> runSQLiteQuery(const std::string& databasePath, const std::string& sql);

std::optional<DashboardDTO> lastDashboardFromDatabase();
std::optional<std::vector<OperationDTO>> queryOperations(const std::string& databasePath);
std::vector<OperationDTO> operationsFromDatabase();
// The real cleans the engine's database records at or after `sinceUnix`,
// newest first, however many; none when there are none or the database
// cannot be read.
std::optional<std::vector<OperationDTO>> cleansRecordedSince(std::int64_t sinceUnix);

// Splits at every newline form (LF, CR, CRLF, VT, FF, NEL, LS, PS), dropping
// empty lines; text that is not valid UTF-8 gives no lines.
std::vector<std::string> splitOutputLines(std::string_view utf8);

inline constexpr const char* kSQLiteExecutable = "/usr/bin/sqlite3";
inline constexpr std::chrono::seconds kSQLiteQueryTimeout{20};

// Tests run a stand-in shell or a shorter time-out; empty or zero restore the defaults.
void setSQLiteExecutableForTesting(std::string path);
void setSQLiteTimeoutForTesting(std::chrono::milliseconds timeout);

}  // namespace tidewell
