#pragma once
// The value records that cross the boundary between the application and the
// engine. One definition serves both sides, so they agree on the JSON by
// construction. Decoding is strict: a missing or mistyped required key fails
// the whole document; unknown keys are ignored.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace tidewell {

struct ArtifactDTO {
    std::string relative_path;
    std::string absolute_path;
    std::string safetyClass;  // key "class": "safe" or "caution", kept as sent
    std::uint64_t size_bytes = 0;
    bool exists = false;

    const std::string& id() const { return absolute_path; }
    bool operator==(const ArtifactDTO&) const = default;
};

struct GlobalCacheDTO {
    std::string id;
    std::string label;
    std::string path;
    std::string safetyClass;
    std::uint64_t size_bytes = 0;
    bool exists = false;

    bool operator==(const GlobalCacheDTO&) const = default;
};

struct TypeSummaryDTO {
    std::string project_type;
    std::string label;
    std::int64_t project_count = 0;
    std::uint64_t total_bytes = 0;
    std::uint64_t reclaimable_bytes = 0;

    const std::string& id() const { return project_type; }
    bool operator==(const TypeSummaryDTO&) const = default;
};

struct ProjectDTO {
    std::string id;
    std::string name;
    std::string path;
    std::vector<std::string> types;
    std::uint64_t total_bytes = 0;
    std::uint64_t reclaimable_bytes = 0;
    std::uint64_t safe_bytes = 0;
    std::uint64_t caution_bytes = 0;
    std::vector<ArtifactDTO> artifacts;
    std::optional<std::int64_t> last_activity_unix;
    std::optional<std::uint64_t> idle_days;
    bool is_idle = false;
    bool is_active = false;
    bool pinned = false;

    bool operator==(const ProjectDTO&) const = default;
};

struct DashboardDTO {
    std::int64_t project_count = 0;
    std::int64_t idle_count = 0;
    std::uint64_t total_bytes = 0;
    std::uint64_t reclaimable_bytes = 0;
    std::vector<TypeSummaryDTO> by_type;
    std::vector<ProjectDTO> projects;
    std::vector<GlobalCacheDTO> global_caches;
    std::int64_t scanned_at_unix = 0;
    std::vector<std::string> roots;

    bool operator==(const DashboardDTO&) const = default;
};

struct CleanItemDTO {
    std::string path;
    std::uint64_t bytes = 0;
    std::string safetyClass;
    bool success = false;
    std::optional<std::string> error;

    bool operator==(const CleanItemDTO&) const = default;
};

struct OperationDTO {
    std::string id;
    std::int64_t timestamp_unix = 0;
    std::optional<std::string> project_path;
    std::uint64_t bytes_reclaimed = 0;
    bool dry_run = false;
    std::optional<std::vector<CleanItemDTO>> items;

    bool operator==(const OperationDTO&) const = default;
};

struct CleanReportDTO {
    bool dry_run = false;
    std::optional<std::string> project_path;
    std::vector<CleanItemDTO> items;
    std::uint64_t bytes_reclaimed = 0;
    std::string operation_id;

    bool operator==(const CleanReportDTO&) const = default;
};

struct ScanProgressEvent {
    std::string phase;
    std::string message;
    std::optional<std::string> path;
    std::int64_t projects_found = 0;
    std::int64_t roots_done = 0;
    std::int64_t roots_total = 0;

    bool operator==(const ScanProgressEvent&) const = default;
};

// The application's own record of the running scan; never crosses the boundary.
struct ScanSnapshot {
    double elapsed = 0;
    std::string phase;
    std::string message;
    std::string currentPath;
    std::int64_t projectsFound = 0;
    std::int64_t rootsDone = 0;
    std::int64_t rootsTotal = 0;
    std::vector<std::string> log;
    std::optional<std::chrono::system_clock::time_point> startedAt;

    bool operator==(const ScanSnapshot&) const = default;
};

// One error for the whole document; `what()` names the key path that failed.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Decoding from UTF-8 JSON text. Throws DecodeError.
template <class T> T decode(std::string_view json);
template <class T> std::vector<T> decodeArray(std::string_view json);

// Encoding: compact JSON on one line, absent optionals left out.
template <class T> std::string encode(const T& value);
template <class T> std::string encodeArray(const std::vector<T>& values);

// Tree forms, for callers that compose documents of their own.
template <class T> T fromJson(const nlohmann::json& j);
template <class T> nlohmann::json toJson(const T& value);

}  // namespace tidewell

template <> struct std::hash<tidewell::ArtifactDTO> {
    std::size_t operator()(const tidewell::ArtifactDTO& a) const noexcept;
};
template <> struct std::hash<tidewell::ProjectDTO> {
    std::size_t operator()(const tidewell::ProjectDTO& p) const noexcept;
};
