#include "core/EngineRecords.h"

#include <limits>

#include <nlohmann/json.hpp>

namespace tidewell {
namespace {

using json = nlohmann::json;

// Reads one object's fields, naming the key path in every failure so a bad
// document says where it went wrong.
class Fields {
public:
    Fields(const json& object, std::string where) : object_(object), where_(std::move(where)) {
        if (!object_.is_object()) fail("", "an object");
    }

    std::string text(const char* key) const {
        const json& v = required(key);
        if (!v.is_string()) fail(key, "a string");
        return v.get<std::string>();
    }

    bool boolean(const char* key) const {
        const json& v = required(key);
        if (!v.is_boolean()) fail(key, "a boolean");
        return v.get<bool>();
    }

    std::uint64_t unsignedNumber(const char* key) const { return asUnsigned(required(key), key); }
    std::int64_t signedNumber(const char* key) const { return asSigned(required(key), key); }

    std::optional<std::string> optionalText(const char* key) const {
        const json* v = optional(key);
        if (!v) return std::nullopt;
        if (!v->is_string()) fail(key, "a string");
        return v->get<std::string>();
    }
    std::optional<std::uint64_t> optionalUnsigned(const char* key) const {
        const json* v = optional(key);
        if (!v) return std::nullopt;
        return asUnsigned(*v, key);
    }
    std::optional<std::int64_t> optionalSigned(const char* key) const {
        const json* v = optional(key);
        if (!v) return std::nullopt;
        return asSigned(*v, key);
    }

    std::vector<std::string> texts(const char* key) const {
        const json& v = array(key);
        std::vector<std::string> out;
        out.reserve(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (!v[i].is_string()) fail(key + ("[" + std::to_string(i) + "]"), "a string");
            out.push_back(v[i].get<std::string>());
        }
        return out;
    }

    template <class T> std::vector<T> records(const char* key) const {
        return recordsOf<T>(array(key), where_ + "." + key);
    }
    template <class T> std::optional<std::vector<T>> optionalRecords(const char* key) const {
        const json* v = optional(key);
        if (!v) return std::nullopt;
        if (!v->is_array()) fail(key, "an array");
        return recordsOf<T>(*v, where_ + "." + key);
    }

private:
    const json& required(const char* key) const {
        auto it = object_.find(key);
        if (it == object_.end()) throw DecodeError(path(key) + ": required key is missing");
        if (it->is_null()) throw DecodeError(path(key) + ": required value is null");
        return *it;
    }
    const json* optional(const char* key) const {
        auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) return nullptr;
        return &*it;
    }
    const json& array(const char* key) const {
        const json& v = required(key);
        if (!v.is_array()) fail(key, "an array");
        return v;
    }
    std::uint64_t asUnsigned(const json& v, const std::string& key) const {
        if (!v.is_number_unsigned()) {
            // nlohmann keeps non-negative integers as unsigned; anything else here
            // is negative, fractional or too large.
            if (v.is_number_integer() && v.get<std::int64_t>() >= 0) return v.get<std::uint64_t>();
            fail(key, "an unsigned 64-bit integer");
        }
        return v.get<std::uint64_t>();
    }
    std::int64_t asSigned(const json& v, const std::string& key) const {
        if (v.is_number_unsigned()) {
            auto u = v.get<std::uint64_t>();
            if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                fail(key, "a signed 64-bit integer");
            return static_cast<std::int64_t>(u);
        }
        if (!v.is_number_integer()) fail(key, "a signed 64-bit integer");
        return v.get<std::int64_t>();
    }
    std::string path(const std::string& key) const { return key.empty() ? where_ : where_ + "." + key; }
    [[noreturn]] void fail(const std::string& key, const char* expected) const {
        throw DecodeError(path(key) + ": expected " + expected);
    }

    template <class T> static std::vector<T> recordsOf(const json& arr, const std::string& where);

    const json& object_;
    std::string where_;
};

template <class T> T read(const json& j, const std::string& where);

template <> ArtifactDTO read<ArtifactDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("relative_path"), f.text("absolute_path"), f.text("class"),
            f.unsignedNumber("size_bytes"), f.boolean("exists")};
}

template <> GlobalCacheDTO read<GlobalCacheDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("id"), f.text("label"), f.text("path"), f.text("class"),
            f.unsignedNumber("size_bytes"), f.boolean("exists")};
}

template <> TypeSummaryDTO read<TypeSummaryDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("project_type"), f.text("label"), f.signedNumber("project_count"),
            f.unsignedNumber("total_bytes"), f.unsignedNumber("reclaimable_bytes")};
}

template <> ProjectDTO read<ProjectDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    ProjectDTO p;
    p.id = f.text("id");
    p.name = f.text("name");
    p.path = f.text("path");
    p.types = f.texts("types");
    p.total_bytes = f.unsignedNumber("total_bytes");
    p.reclaimable_bytes = f.unsignedNumber("reclaimable_bytes");
    p.safe_bytes = f.unsignedNumber("safe_bytes");
    p.caution_bytes = f.unsignedNumber("caution_bytes");
    p.artifacts = f.records<ArtifactDTO>("artifacts");
    p.last_activity_unix = f.optionalSigned("last_activity_unix");
    p.idle_days = f.optionalUnsigned("idle_days");
    p.is_idle = f.boolean("is_idle");
    p.is_active = f.boolean("is_active");
    p.pinned = f.boolean("pinned");
    return p;
}

template <> DashboardDTO read<DashboardDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    DashboardDTO d;
    d.project_count = f.signedNumber("project_count");
    d.idle_count = f.signedNumber("idle_count");
    d.total_bytes = f.unsignedNumber("total_bytes");
    d.reclaimable_bytes = f.unsignedNumber("reclaimable_bytes");
    d.by_type = f.records<TypeSummaryDTO>("by_type");
    d.projects = f.records<ProjectDTO>("projects");
    d.global_caches = f.records<GlobalCacheDTO>("global_caches");
    d.scanned_at_unix = f.signedNumber("scanned_at_unix");
    d.roots = f.texts("roots");
    return d;
}

template <> CleanItemDTO read<CleanItemDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("path"), f.unsignedNumber("bytes"), f.text("class"), f.boolean("success"),
            f.optionalText("error")};
}

template <> OperationDTO read<OperationDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("id"), f.signedNumber("timestamp_unix"), f.optionalText("project_path"),
            f.unsignedNumber("bytes_reclaimed"), f.boolean("dry_run"),
            f.optionalRecords<CleanItemDTO>("items")};
}

template <> CleanReportDTO read<CleanReportDTO>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.boolean("dry_run"), f.optionalText("project_path"), f.records<CleanItemDTO>("items"),
            f.unsignedNumber("bytes_reclaimed"), f.text("operation_id")};
}

template <> ScanProgressEvent read<ScanProgressEvent>(const json& j, const std::string& where) {
    Fields f(j, where);
    return {f.text("phase"), f.text("message"), f.optionalText("path"),
            f.signedNumber("projects_found"), f.signedNumber("roots_done"), f.signedNumber("roots_total")};
}

template <class T> std::vector<T> Fields::recordsOf(const json& arr, const std::string& where) {
    std::vector<T> out;
    out.reserve(arr.size());
    for (std::size_t i = 0; i < arr.size(); ++i) out.push_back(read<T>(arr[i], where + "[" + std::to_string(i) + "]"));
    return out;
}

json write(const ArtifactDTO& a);
json write(const GlobalCacheDTO& c);
json write(const TypeSummaryDTO& t);
json write(const ProjectDTO& p);
json write(const CleanItemDTO& i);
json write(const DashboardDTO& d);
json write(const OperationDTO& o);
json write(const CleanReportDTO& r);
json write(const ScanProgressEvent& e);
template <class T> json writeAll(const std::vector<T>& values);

json write(const ArtifactDTO& a) {
    return {{"relative_path", a.relative_path}, {"absolute_path", a.absolute_path}, {"class", a.safetyClass},
            {"size_bytes", a.size_bytes}, {"exists", a.exists}};
}
json write(const GlobalCacheDTO& c) {
    return {{"id", c.id}, {"label", c.label}, {"path", c.path}, {"class", c.safetyClass},
            {"size_bytes", c.size_bytes}, {"exists", c.exists}};
}
json write(const TypeSummaryDTO& t) {
    return {{"project_type", t.project_type}, {"label", t.label}, {"project_count", t.project_count},
            {"total_bytes", t.total_bytes}, {"reclaimable_bytes", t.reclaimable_bytes}};
}
template <class T> json writeAll(const std::vector<T>& values) {
    json arr = json::array();
    for (const auto& v : values) arr.push_back(write(v));
    return arr;
}
json write(const ProjectDTO& p) {
    json j = {{"id", p.id}, {"name", p.name}, {"path", p.path}, {"types", p.types},
              {"total_bytes", p.total_bytes}, {"reclaimable_bytes", p.reclaimable_bytes},
              {"safe_bytes", p.safe_bytes}, {"caution_bytes", p.caution_bytes},
              {"artifacts", writeAll(p.artifacts)}};
    if (p.last_activity_unix) j["last_activity_unix"] = *p.last_activity_unix;
    if (p.idle_days) j["idle_days"] = *p.idle_days;
    j["is_idle"] = p.is_idle;
    j["is_active"] = p.is_active;
    j["pinned"] = p.pinned;
    return j;
}
json write(const DashboardDTO& d) {
    return {{"project_count", d.project_count}, {"idle_count", d.idle_count}, {"total_bytes", d.total_bytes},
            {"reclaimable_bytes", d.reclaimable_bytes}, {"by_type", writeAll(d.by_type)},
            {"projects", writeAll(d.projects)}, {"global_caches", writeAll(d.global_caches)},
            {"scanned_at_unix", d.scanned_at_unix}, {"roots", d.roots}};
}
json write(const CleanItemDTO& i) {
    json j = {{"path", i.path}, {"bytes", i.bytes}, {"class", i.safetyClass}, {"success", i.success}};
    if (i.error) j["error"] = *i.error;
    return j;
}
json write(const OperationDTO& o) {
    json j = {{"id", o.id}, {"timestamp_unix", o.timestamp_unix}};
    if (o.project_path) j["project_path"] = *o.project_path;
    j["bytes_reclaimed"] = o.bytes_reclaimed;
    j["dry_run"] = o.dry_run;
    if (o.items) j["items"] = writeAll(*o.items);
    return j;
}
json write(const CleanReportDTO& r) {
    json j = {{"dry_run", r.dry_run}};
    if (r.project_path) j["project_path"] = *r.project_path;
    j["items"] = writeAll(r.items);
    j["bytes_reclaimed"] = r.bytes_reclaimed;
    j["operation_id"] = r.operation_id;
    return j;
}
json write(const ScanProgressEvent& e) {
    json j = {{"phase", e.phase}, {"message", e.message}};
    if (e.path) j["path"] = *e.path;
    j["projects_found"] = e.projects_found;
    j["roots_done"] = e.roots_done;
    j["roots_total"] = e.roots_total;
    return j;
}

json parse(std::string_view text) {
    try {
        return json::parse(text.begin(), text.end());
    } catch (const json::exception& e) {
        throw DecodeError(std::string("The data is not valid JSON: ") + e.what());
    }
}

// Engine paths may hold bytes that are not UTF-8; replace rather than throw so a
// document always encodes. NEL, LS and PS are escaped too: readers that split
// text into lines (the sqlite3 shell's output as the application reads it)
// count them as line breaks, and each record must stay on one line. Outside
// strings the text is ASCII, so every such sequence lies inside a string.
std::string dump(const json& j) {
    std::string text = j.dump(-1, ' ', false, json::error_handler_t::replace);
    std::size_t at = text.find_first_of("\xC2\xE2");
    if (at == std::string::npos) return text;
    std::string out = text.substr(0, at);
    out.reserve(text.size() + 16);
    for (; at < text.size(); ++at) {
        const auto next = [&](std::size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u; };
        if (next(0) == 0xC2 && next(1) == 0x85) {
            out += "\\u0085";
            at += 1;
        } else if (next(0) == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9)) {
            out += next(2) == 0xA8 ? "\\u2028" : "\\u2029";
            at += 2;
        } else {
            out.push_back(text[at]);
        }
    }
    return out;
}

}  // namespace

template <class T> T fromJson(const json& j) { return read<T>(j, "$"); }
template <class T> json toJson(const T& value) { return write(value); }
template <class T> T decode(std::string_view text) { return read<T>(parse(text), "$"); }
template <class T> std::vector<T> decodeArray(std::string_view text) {
    json j = parse(text);
    if (!j.is_array()) throw DecodeError("$: expected an array");
    std::vector<T> out;
    out.reserve(j.size());
    for (std::size_t i = 0; i < j.size(); ++i) out.push_back(read<T>(j[i], "$[" + std::to_string(i) + "]"));
    return out;
}
template <class T> std::string encode(const T& value) { return dump(write(value)); }
template <class T> std::string encodeArray(const std::vector<T>& values) { return dump(writeAll(values)); }

#define TIDEWELL_RECORD(T)                                         \
    template T fromJson<T>(const json&);                           \
    template json toJson<T>(const T&);                             \
    template T decode<T>(std::string_view);                        \
    template std::vector<T> decodeArray<T>(std::string_view);      \
    template std::string encode<T>(const T&);                      \
    template std::string encodeArray<T>(const std::vector<T>&);
TIDEWELL_RECORD(ArtifactDTO)
TIDEWELL_RECORD(GlobalCacheDTO)
TIDEWELL_RECORD(TypeSummaryDTO)
TIDEWELL_RECORD(ProjectDTO)
TIDEWELL_RECORD(DashboardDTO)
TIDEWELL_RECORD(CleanItemDTO)
TIDEWELL_RECORD(OperationDTO)
TIDEWELL_RECORD(CleanReportDTO)
TIDEWELL_RECORD(ScanProgressEvent)
#undef TIDEWELL_RECORD

}  // namespace tidewell

namespace {
inline void combine(std::size_t& seed, std::size_t h) { seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); }
}

std::size_t std::hash<tidewell::ArtifactDTO>::operator()(const tidewell::ArtifactDTO& a) const noexcept {
    std::size_t s = 0;
    combine(s, std::hash<std::string>{}(a.relative_path));
    combine(s, std::hash<std::string>{}(a.absolute_path));
    combine(s, std::hash<std::string>{}(a.safetyClass));
    combine(s, std::hash<std::uint64_t>{}(a.size_bytes));
    combine(s, std::hash<bool>{}(a.exists));
    return s;
}

std::size_t std::hash<tidewell::ProjectDTO>::operator()(const tidewell::ProjectDTO& p) const noexcept {
    std::size_t s = 0;
    for (const auto* t : {&p.id, &p.name, &p.path}) combine(s, std::hash<std::string>{}(*t));
    for (const auto& t : p.types) combine(s, std::hash<std::string>{}(t));
    for (auto n : {p.total_bytes, p.reclaimable_bytes, p.safe_bytes, p.caution_bytes}) combine(s, std::hash<std::uint64_t>{}(n));
    for (const auto& a : p.artifacts) combine(s, std::hash<tidewell::ArtifactDTO>{}(a));
    combine(s, std::hash<std::int64_t>{}(p.last_activity_unix.value_or(-1)));
    combine(s, p.last_activity_unix.has_value());
    combine(s, std::hash<std::uint64_t>{}(p.idle_days.value_or(0)));
    combine(s, p.idle_days.has_value());
    combine(s, (p.is_idle ? 1u : 0u) | (p.is_active ? 2u : 0u) | (p.pinned ? 4u : 0u));
    return s;
}
