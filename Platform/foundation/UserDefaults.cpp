#include "foundation/UserDefaults.h"

#include "foundation/Files.h"
#include "foundation/Log.h"
#include "foundation/Paths.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

using json = nlohmann::json;

// The key the handlers of observeRefusal are kept under: no setting's name
// begins with a NUL.
constexpr std::string_view kRefusedKey{"\0refused", 8};

constexpr const char* kindNames[] = {"bool", "integer", "double", "string", "stringArray", "data", "object"};

std::optional<UserDefaults::Kind> kindNamed(const std::string& name) {
    for (std::size_t i = 0; i < std::size(kindNames); ++i)
        if (name == kindNames[i]) return static_cast<UserDefaults::Kind>(i);
    return std::nullopt;
}

// Whether `value` is a valid stored form of `kind`.
bool fits(UserDefaults::Kind kind, const json& value) {
    switch (kind) {
    case UserDefaults::Kind::boolean: return value.is_boolean();
    case UserDefaults::Kind::integer: return value.is_number_integer();
    case UserDefaults::Kind::real: return value.is_number();
    case UserDefaults::Kind::string: return value.is_string();
    case UserDefaults::Kind::stringArray:
        if (!value.is_array()) return false;
        for (const auto& item : value)
            if (!item.is_string()) return false;
        return true;
    case UserDefaults::Kind::data: return value.is_string();
    case UserDefaults::Kind::object: return true;
    }
    return false;
}

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(const std::vector<std::uint8_t>& data) {
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (std::uint8_t byte : data) {
        acc = (acc << 8) | byte;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += alphabet[(acc >> bits) & 63];
        }
    }
    if (bits > 0) out += alphabet[(acc << (6 - bits)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

std::optional<std::vector<std::uint8_t>> fromBase64(const std::string& text) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const char* p = std::char_traits<char>::find(alphabet, 64, c);
        if (!p) return std::nullopt;
        acc = (acc << 6) | static_cast<std::uint32_t>(p - alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xFF));
        }
    }
    return out;
}

// The kind and value of a stored entry, {"kind": <name>, "value": <value>},
// when the value fits the kind.
std::optional<std::pair<UserDefaults::Kind, json>> readEntry(const json& entry) {
    if (!entry.is_object() || !entry.contains("kind") || !entry["kind"].is_string() || !entry.contains("value"))
        return std::nullopt;
    const auto kind = kindNamed(entry["kind"].get<std::string>());
    if (!kind || !fits(*kind, entry["value"])) return std::nullopt;
    return std::pair{*kind, entry["value"]};
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Whether a write may go to `file`, which a link in the settings file's place
// points to: only into a folder that is there (a folder made up would stand
// where a disk belongs) and only over a file this user may write, so the
// link's file is never swapped for one of the user's own.
bool linkedFileWritable(const std::string& file) {
    const std::string parent = deletingLastPathComponent(file);
    struct stat st {};
    if (::stat(parent.empty() ? "." : parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

// `base`, or the first of "<base>-2", "<base>-3"… that is free.
std::string freeName(const std::string& base) {
    std::string name = base;
    for (int n = 2; exists(name); ++n) name = base + "-" + std::to_string(n);
    return name;
}

// Keeps `contents`, a settings file, for a person to look at: as
// "<file>.corrupt", or beside an earlier copy as "<file>.corrupt-2", "-3"…
// An earlier copy is never written over; one that holds exactly these
// contents already is where they are kept. Returns where they went.
std::optional<std::string> keepAside(const std::string& filePath, const std::string& contents) {
    const std::string aside = filePath + ".corrupt";
    std::string target = aside;
    for (int n = 2; exists(target); ++n) {
        if (readFileContents(target) == contents) return target;
        target = aside + "-" + std::to_string(n);
    }
    if (!writeFileAtomically(target, contents)) return std::nullopt;
    return target;
}

// Whether a value stored as `stored` could be read by whoever now writes
// `written` (a double reads an integer; an object reads anything).
bool readableAs(UserDefaults::Kind stored, UserDefaults::Kind written) {
    return stored == written || written == UserDefaults::Kind::object ||
           (written == UserDefaults::Kind::real && stored == UserDefaults::Kind::integer);
}

// Collects the entries of a damaged or cut-short file that were read whole
// before the damage: {"values": {"<key>": {...}, ...}}.
class EntrySalvage final : public json::json_sax_t {
public:
    std::map<std::string, json, std::less<>> entries;
    std::set<std::string> seen;  // every key under "values" the parse reached

    bool null() override { return add(nullptr); }
    bool boolean(bool v) override { return add(v); }
    bool number_integer(json::number_integer_t v) override { return add(v); }
    bool number_unsigned(json::number_unsigned_t v) override { return add(v); }
    bool number_float(json::number_float_t v, const json::string_t&) override { return add(v); }
    bool string(json::string_t& v) override { return add(v); }
    bool binary(json::binary_t& v) override { return add(json::binary(v)); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool key(json::string_t& k) override {
        key_ = k;
        if (open_.size() == 2 && names_[1] == "values") seen.insert(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const json::exception&) override { return false; }

private:
    json* add(json value) {
        if (open_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        json& parent = *open_.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        return &(parent[key_] = std::move(value));
    }
    bool open(json value) {
        names_.push_back(open_.empty() ? std::string() : key_);
        open_.push_back(add(std::move(value)));
        return true;
    }
    bool close() {
        // An entry is whole when its own object closes under the root's "values".
        if (open_.size() == 3 && names_[1] == "values" && open_[1]->is_object()) entries[names_[2]] = *open_.back();
        open_.pop_back();
        names_.pop_back();
        return true;
    }

    json root_;
    std::vector<json*> open_;
    std::vector<std::string> names_;
    std::string key_;
};

std::mutex& standardMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<UserDefaults>& standardStore() {
    static std::shared_ptr<UserDefaults> store;
    return store;
}

}  // namespace

UserDefaults::UserDefaults(std::string filePath) : filePath_(std::move(filePath)) { load(); }

std::string UserDefaults::standardFilePath(std::string_view fileName) {
    return appendPathComponent(appendPathComponent(configHomeDirectory(), "Tidewell"), fileName);
}

std::shared_ptr<UserDefaults> UserDefaults::standard() {
    std::lock_guard lock(standardMutex());
    auto& store = standardStore();
    if (!store) store = std::make_shared<UserDefaults>(standardFilePath());
    return store;
}

void UserDefaults::setStandard(std::shared_ptr<UserDefaults> defaults) {
    std::lock_guard lock(standardMutex());
    standardStore() = std::move(defaults);
}

void UserDefaults::load() {
    FileError error;
    auto contents = readFileContents(filePath_, &error);
    if (!contents) {
        // No file yet: an empty store, whose first save must be able to make
        // the file (and the folders on its way).
        if (error.number == ENOENT) {
            (void)noteIfUnwritableLocked();
            return;
        }
        // Settings this user cannot read are still the user's: a file written
        // in their place would lose them for good.
        unreadableFileReason_ = error.reason;
        log("%@ user defaults in %@ cannot be read: %@; running on defaults in memory, the file left as it is",
            logIdentity(), filePath_, *unreadableFileReason_);
        return;
    }
    // A file the user protected is theirs to change: its values are used,
    // and nothing replaces it or is set aside beside it.
    noteIfUnwritableLocked();
    std::map<std::string, Entry, std::less<>> loaded;
    bool valid = false;
    std::vector<std::string> lost;
    try {
        json document = json::parse(*contents);
        const json* values = document.is_object() && document.contains("values") ? &document["values"] : nullptr;
        if (values && values->is_object()) {
            valid = true;
            for (const auto& [key, entry] : values->items()) {
                // One damaged entry costs only itself, never the other settings.
                if (auto read = readEntry(entry)) loaded.emplace(key, Entry{read->first, std::move(read->second)});
                else lost.push_back(key);
            }
        }
    } catch (const json::exception&) {
        valid = false;
    }
    // A settings file that is a link is set aside and copied beside the file
    // it points to; the link stays.
    const auto file = followLinks(filePath_);
    if (valid) {
        entries_ = std::move(loaded);
        if (lost.empty()) return;
        const auto skipped = lost.size();
        unreadableKeys_ = std::move(lost);
        // The next write drops the skipped entries; a copy keeps them for a person to look at.
        const auto kept = file && !unwritableFileReason_ ? keepAside(*file, *contents) : std::nullopt;
        log("%@ user defaults in %@: skipped %@ unreadable entries; %@", logIdentity(), filePath_,
            std::to_string(skipped), kept ? "kept a copy as " + *kept : std::string("no copy kept"));
        return;
    }
    // Keep the unreadable file for a person to look at, and start with what
    // could still be read from it: a file cut short keeps its first entries.
    const std::string aside = freeName(file.value_or(filePath_) + ".corrupt");
    if (file && !unwritableFileReason_ && std::rename(file->c_str(), aside.c_str()) == 0) setAsidePath_ = aside;
    EntrySalvage salvage;
    json::sax_parse(*contents, &salvage);
    for (auto& [key, entry] : salvage.entries)
        if (auto read = readEntry(entry)) entries_.emplace(key, Entry{read->first, std::move(read->second)});
    for (const auto& key : salvage.seen)
        if (!entries_.count(key)) unreadableKeys_.push_back(key);
    log("%@ user defaults in %@ could not be read; %@; %@ entries recovered", logIdentity(), filePath_,
        setAsidePath_ ? "kept aside as " + aside : std::string("starting empty"), std::to_string(entries_.size()));
}

bool UserDefaults::noteIfUnwritableLocked() {
    unwritableFileReason_ = whyNotReplaceable(filePath_);
    if (unwritableFileReason_)
        log("%@ user defaults in %@ cannot be saved: %@; changes kept in memory, the file left as it is",
            logIdentity(), filePath_, *unwritableFileReason_);
    return unwritableFileReason_.has_value();
}

void UserDefaults::keepCopyLocked(const std::string& why) {
    if (unwritableFileReason_) return;  // the file keeps the value itself
    auto contents = readFileContents(filePath_);
    const auto file = followLinks(filePath_);
    if (!contents || !file) return;
    const auto kept = keepAside(*file, *contents);
    log("%@ user defaults in %@: %@; %@", logIdentity(), filePath_, why,
        kept ? "kept a copy as " + *kept : std::string("no copy kept"));
}

std::optional<std::string> UserDefaults::setAsidePath() const {
    std::lock_guard lock(mutex_);
    return setAsidePath_;
}

std::vector<std::string> UserDefaults::unreadableKeys() const {
    std::lock_guard lock(mutex_);
    return unreadableKeys_;
}

std::optional<std::string> UserDefaults::unreadableFileReason() const {
    std::lock_guard lock(mutex_);
    return unreadableFileReason_;
}

std::optional<std::string> UserDefaults::unwritableFileReason() const {
    std::lock_guard lock(mutex_);
    return unwritableFileReason_;
}

const UserDefaults::Entry* UserDefaults::findLocked(std::string_view key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

std::optional<nlohmann::json> UserDefaults::object(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto e = findLocked(key)) return e->value;
    return std::nullopt;
}

std::optional<UserDefaults::Kind> UserDefaults::kind(std::string_view key) const {
    std::lock_guard lock(mutex_);
    if (auto e = findLocked(key)) return e->kind;
    return std::nullopt;
}

std::optional<bool> UserDefaults::boolValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || e->kind != Kind::boolean) return std::nullopt;
    return e->value.get<bool>();
}

std::optional<std::int64_t> UserDefaults::integerValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || e->kind != Kind::integer) return std::nullopt;
    if (e->value.is_number_unsigned() && e->value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
        return INT64_MAX;
    return e->value.get<std::int64_t>();
}

std::optional<double> UserDefaults::doubleValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || (e->kind != Kind::real && e->kind != Kind::integer)) return std::nullopt;
    return e->value.get<double>();
}

std::optional<std::string> UserDefaults::stringValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || e->kind != Kind::string) return std::nullopt;
    return e->value.get<std::string>();
}

std::optional<std::vector<std::string>> UserDefaults::stringArray(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || e->kind != Kind::stringArray) return std::nullopt;
    return e->value.get<std::vector<std::string>>();
}

std::optional<std::vector<std::uint8_t>> UserDefaults::dataValue(std::string_view key) const {
    std::lock_guard lock(mutex_);
    auto e = findLocked(key);
    if (!e || e->kind != Kind::data) return std::nullopt;
    return fromBase64(e->value.get<std::string>());
}

void UserDefaults::set(std::string_view key, Kind kind, nlohmann::json value) {
    bool changed = true;
    bool refused = false;
    {
        std::lock_guard lock(mutex_);
        if (auto e = findLocked(key)) {
            changed = e->kind != kind || e->value != value;
            // A value its reader could not use (a double where an integer is
            // read) is about to go: the file keeps it in a copy first.
            if (!readableAs(e->kind, kind))
                keepCopyLocked("\"" + std::string(key) + "\" held a " + kindNames[static_cast<int>(e->kind)] +
                               ", replaced by a " + kindNames[static_cast<int>(kind)]);
        }
        entries_.insert_or_assign(std::string(key), Entry{kind, std::move(value)});
        refused = persistLocked();
    }
    if (refused) notify(kRefusedKey);
    if (changed) notify(key);
}

UserDefaults::Observation UserDefaults::observeRefusal(std::function<void()> refused) {
    return observe(std::string(kRefusedKey), std::move(refused));
}

UserDefaults::Observation UserDefaults::observe(std::string key, std::function<void()> changed) {
    std::lock_guard lock(observers_->mutex);
    const auto id = observers_->next++;
    observers_->byKey.emplace(std::move(key), std::make_pair(id, std::make_shared<std::function<void()>>(std::move(changed))));
    std::weak_ptr<Observers> weak = observers_;
    return Observation([weak, id] {
        auto o = weak.lock();
        if (!o) return;
        std::lock_guard lock(o->mutex);
        for (auto it = o->byKey.begin(); it != o->byKey.end(); ++it)
            if (it->second.first == id) {
                o->byKey.erase(it);
                return;
            }
    });
}

void UserDefaults::notify(std::string_view key) {
    std::vector<std::shared_ptr<std::function<void()>>> handlers;
    {
        std::lock_guard lock(observers_->mutex);
        auto [from, to] = observers_->byKey.equal_range(key);
        for (auto it = from; it != to; ++it) handlers.push_back(it->second.second);
    }
    for (auto& h : handlers)
        if (*h) (*h)();
}

void UserDefaults::setBool(std::string_view key, bool value) { set(key, Kind::boolean, value); }
void UserDefaults::setInteger(std::string_view key, std::int64_t value) { set(key, Kind::integer, value); }
void UserDefaults::setDouble(std::string_view key, double value) {
    // JSON has no NaN or infinity; they would make the file unreadable.
    set(key, Kind::real, std::isfinite(value) ? json(value) : json(0.0));
}
void UserDefaults::setString(std::string_view key, std::string value) { set(key, Kind::string, std::move(value)); }
void UserDefaults::setStringArray(std::string_view key, std::vector<std::string> value) {
    set(key, Kind::stringArray, std::move(value));
}
void UserDefaults::setData(std::string_view key, std::vector<std::uint8_t> value) {
    set(key, Kind::data, toBase64(value));
}
void UserDefaults::setObject(std::string_view key, nlohmann::json value) { set(key, Kind::object, std::move(value)); }

void UserDefaults::remove(std::string_view key) {
    std::unique_lock lock(mutex_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return;
    entries_.erase(it);
    const bool refused = persistLocked();
    lock.unlock();
    if (refused) notify(kRefusedKey);
    notify(key);
}

bool UserDefaults::lastWriteSucceeded() const {
    std::lock_guard lock(mutex_);
    return lastWriteSucceeded_;
}

bool UserDefaults::persistLocked() {
    // A file protected while this runs is left alone from then on too.
    const bool refusedNow = !unreadableFileReason_ && !unwritableFileReason_ && noteIfUnwritableLocked();
    if (unreadableFileReason_ || unwritableFileReason_) {
        lastWriteSucceeded_ = false;
        return refusedNow;
    }
    json values = json::object();
    for (const auto& [key, entry] : entries_)
        values[key] = json{{"kind", kindNames[static_cast<int>(entry.kind)]}, {"value", entry.value}};
    json document{{"values", std::move(values)}};
    std::string text;
    try {
        // Replace invalid UTF-8 in texts rather than fail the whole file.
        text = document.dump(1, '\t', false, json::error_handler_t::replace);
    } catch (const json::exception&) {
        lastWriteSucceeded_ = false;
        return false;
    }
    // Through a link the write goes to the file it points to, and the link stays.
    const auto file = followLinks(filePath_);
    lastWriteSucceeded_ = file && (*file == filePath_ || linkedFileWritable(*file)) &&
                          writeFileAtomically(*file, text + "\n");
    if (!lastWriteSucceeded_)
        log("%@ user defaults could not be written to %@", logIdentity(), file.value_or(filePath_));
    return false;
}

}  // namespace platform
