#pragma once
// A scratch home for store tests: HOME, the XDG data and config folders and
// the working folder all point into a fresh temporary folder, the standard
// user defaults live there, and the launch arguments are plain.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/EngineRecords.h"
#include "core/ScanRoots.h"
#include "foundation/ChildProcess.h"
#include "foundation/Files.h"
#include "foundation/ProcessInfo.h"
#include "foundation/UserDefaults.h"
#include "Platform/foundation/TemporaryDirectory.h"

namespace tidewell::testing {

class ScratchHome {
public:
    explicit ScratchHome(std::vector<std::string> arguments = {"tidewell"}) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                ("tidewell-store-" + std::to_string(::getpid()) + "-" +
                 (info ? std::string(info->test_suite_name()) + "." + info->name() : std::string("x")));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "home");
        std::filesystem::create_directories(root_ / "work");
        // Restored afterwards, so a later test never reads a removed home.
        env_[0].emplace("HOME", home().c_str());
        env_[1].emplace("XDG_DATA_HOME", (root_ / "home/.local/share").c_str());
        env_[2].emplace("XDG_CONFIG_HOME", (root_ / "home/.config").c_str());
        previousDir_ = std::filesystem::current_path();
        std::filesystem::current_path(root_ / "work");
        setRealHomeForTesting(home());
        platform::setProcessArguments(std::move(arguments));
        useDefaults(std::make_shared<platform::UserDefaults>(platform::UserDefaults::standardFilePath()));
    }
    ~ScratchHome() {
        std::error_code ec;
        std::filesystem::current_path(previousDir_, ec);
        platform::UserDefaults::setStandard(nullptr);
        setRealHomeForTesting(std::nullopt);
        std::filesystem::remove_all(root_, ec);
    }

    void useDefaults(std::shared_ptr<platform::UserDefaults> d) {
        defaults_ = d;
        platform::UserDefaults::setStandard(std::move(d));
    }

    std::string home() const { return (root_ / "home").string(); }
    std::string path(const std::string& relative) const { return (root_ / relative).string(); }
    std::string dataFolder(const std::string& name = "Tidewell") const {
        return (root_ / "home/.local/share" / name).string();
    }
    platform::UserDefaults& defaults() { return *defaults_; }
    // The scratch folder and all it holds, the home among it, belong to `user`
    // (the ordinary user a test launches as).
    void giveTo(uid_t user) const {
        ::chmod(root_.c_str(), 0755);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_))
            ::lchown(entry.path().c_str(), user, user);
    }

private:
    std::filesystem::path root_;
    std::filesystem::path previousDir_;
    std::shared_ptr<platform::UserDefaults> defaults_;
    std::optional<testing_support::ScopedEnvironment> env_[3];
};

inline void writeText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// An executable shell script at `path`.
inline void writeScript(const std::string& path, const std::string& body) {
    writeText(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// Runs the real sqlite3 shell on `db` (creating it) with `sql`; true on success.
inline bool runSQL(const std::string& db, const std::string& sql) {
    std::filesystem::create_directories(std::filesystem::path(db).parent_path());
    platform::ChildProcess::Options o;
    o.executable = "/usr/bin/sqlite3";
    o.arguments = {db, sql};
    auto out = platform::ChildProcess::run(o, std::chrono::seconds(30));
    return out.status.success() && out.standardError.empty();
}

inline std::string sqlQuote(const std::string& text) {
    std::string q = "'";
    for (char c : text) {
        if (c == '\'') q += "''";
        else q += c;
    }
    return q + "'";
}

// A database with the engine's schema.
inline bool createEngineDatabase(const std::string& db) {
    return runSQL(db,
                  "PRAGMA journal_mode=WAL;"
                  "CREATE TABLE scan_cache (id INTEGER PRIMARY KEY, scanned_at_unix INTEGER NOT NULL, json TEXT NOT NULL);"
                  "CREATE TABLE operations (id TEXT PRIMARY KEY, timestamp_unix INTEGER NOT NULL, project_path TEXT,"
                  " dry_run INTEGER NOT NULL, bytes_reclaimed INTEGER NOT NULL, json TEXT NOT NULL);");
}

inline bool insertDashboard(const std::string& db, const DashboardDTO& d) {
    return runSQL(db, "INSERT OR REPLACE INTO scan_cache VALUES (1, " + std::to_string(d.scanned_at_unix) + ", " +
                          sqlQuote(encode(d)) + ");");
}

inline bool insertOperation(const std::string& db, const OperationDTO& op) {
    return runSQL(db, "INSERT INTO operations VALUES (" + sqlQuote(op.id) + ", " + std::to_string(op.timestamp_unix) +
                          ", NULL, " + (op.dry_run ? "1" : "0") + ", " + std::to_string(op.bytes_reclaimed) + ", " +
                          sqlQuote(encode(op)) + ");");
}

inline OperationDTO operation(std::string id, std::int64_t at, std::uint64_t bytes, bool dryRun = false,
                              std::optional<std::string> path = std::nullopt) {
    OperationDTO op;
    op.id = std::move(id);
    op.timestamp_unix = at;
    op.bytes_reclaimed = bytes;
    op.dry_run = dryRun;
    op.project_path = std::move(path);
    return op;
}

inline ProjectDTO project(std::string id, std::string path, std::uint64_t total, std::uint64_t reclaimable,
                          std::vector<std::string> types = {"node"}, bool idle = false) {
    ProjectDTO p;
    p.id = std::move(id);
    p.name = std::filesystem::path(path).filename().string();
    p.path = std::move(path);
    p.types = std::move(types);
    p.total_bytes = total;
    p.reclaimable_bytes = reclaimable;
    p.safe_bytes = reclaimable;
    p.is_idle = idle;
    return p;
}

inline DashboardDTO dashboard(std::vector<ProjectDTO> projects, std::int64_t scannedAt = 1'700'000'000) {
    DashboardDTO d;
    d.projects = std::move(projects);
    d.project_count = static_cast<std::int64_t>(d.projects.size());
    for (const auto& p : d.projects) {
        d.total_bytes += p.total_bytes;
        d.reclaimable_bytes += p.reclaimable_bytes;
        if (p.is_idle) ++d.idle_count;
    }
    d.scanned_at_unix = scannedAt;
    return d;
}

}  // namespace tidewell::testing
