#pragma once
// The application's own files in its data folder ("last-dashboard.json",
// "operations.json", "scan-bookmarks.plist") and the engine database's
// locations, including the one-time adoption of a database left at an older
// location. A read that fails falls back silently; a save that may not go
// where the file is (something that is no regular file, a link to nothing,
// a file or folder this user may not replace) leaves it as it is and is told
// in the banner, once per file and reason.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/EngineRecords.h"

namespace tidewell {

inline constexpr const char* kLastDashboardFileName = "last-dashboard.json";
inline constexpr const char* kOperationsFileName = "operations.json";
inline constexpr const char* kEngineDatabaseFileName = "tidewell.sqlite";

std::string lastDashboardFilePath();
std::string operationsFilePath();

// The engine's database proper, then its three older locations, in order.
std::vector<std::string> engineDatabaseCandidates();
// When the data folder holds no database, copies the first existing older one
// there, with its write-ahead log and shared-memory companions.
void migrateLegacyDatabase();

// Saves `contents` as the application's own file `path`: through a link, to
// the file it points to, and never over what a save may not replace, which
// is told instead. True when written.
bool saveAppFile(const std::string& path, std::string_view contents);
// The banner's sentences naming each of the application's own files that a
// save may not reach, at launch; empty when every one may be saved. Each
// named counts as told: a save does not tell it again.
std::string appFilesNotice();
// Where the sentence naming a file a save was refused goes, from any thread
// (the store puts it in its banner).
void setAppFileRefusalHandler(std::function<void(std::string sentence)> tell);
// The banner's sentence for a settings file that cannot be saved, and why.
std::string settingsUnsavedNotice(const std::string& file, const std::string& why);
// A reason in the system's words ("Permission denied") inside a sentence.
std::string midSentence(std::string reason);

void saveLastDashboard(const DashboardDTO& dashboard);
// Writes `dashboard` unless the file already holds one scanned at the same
// time or later (a scan or clean that finished meanwhile); true when written.
bool saveLastDashboardUnlessNewerOnFile(const DashboardDTO& dashboard);
void saveOperations(const std::vector<OperationDTO>& history);
// None when the file is missing, unreadable or does not decode.
std::optional<DashboardDTO> readLastDashboardFile();
std::optional<std::vector<OperationDTO>> readOperationsFile();

}  // namespace tidewell
