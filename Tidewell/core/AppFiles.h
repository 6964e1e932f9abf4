#pragma once
// The application's own files in its data folder ("last-dashboard.json",
// "operations.json") and the engine database's locations, including the
// one-time adoption of a database left at an older location. Every failure
// falls back silently: these functions report nothing.

#include <optional>
#include <string>
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

void saveLastDashboard(const DashboardDTO& dashboard);
// Writes `dashboard` unless the file already holds one scanned at the same
// time or later (a scan or clean that finished meanwhile); true when written.
bool saveLastDashboardUnlessNewerOnFile(const DashboardDTO& dashboard);
void saveOperations(const std::vector<OperationDTO>& history);
// None when the file is missing, unreadable or does not decode.
std::optional<DashboardDTO> readLastDashboardFile();
std::optional<std::vector<OperationDTO>> readOperationsFile();

}  // namespace tidewell
