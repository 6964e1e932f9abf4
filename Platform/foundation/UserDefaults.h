#pragma once
// The typed user-defaults store: one JSON file of keys, each value kept with
// its kind (bool, integer, double, text, array of texts, data, or an object,
// i.e. any JSON). Every change is written at once, atomically. Nothing that
// cannot be used is lost silently: a file that does not read is kept aside as
// "<file>.corrupt" and the store starts with the entries that could still be
// read from it; a damaged entry, or one that a write of another kind is
// about to replace, is kept in a "<file>.corrupt" copy of the file first.
// A copy kept earlier is never written over: a later one goes beside it.
// A file that is there but cannot be read (its owner or mode refuse this
// user, an I/O error) is never written over: the store starts empty and
// lives in memory for the rest of the run.
// A file this user may read but not replace (read-only, another user's) is
// used as it is: its values are read, changes live in memory, and nothing is
// written over it or set aside beside it.
// What stands there but is no regular file (a named pipe, a socket, a
// device, a folder) is taken as a file that cannot be read, and never waited on.
// A file that is a symbolic link stays one: writes, and copies kept aside,
// go to the file it points to; a link to no folder, or to a file this user
// may not write, is not written through.
// All members are thread-safe.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace platform {

class UserDefaults {
public:
    enum class Kind { boolean, integer, real, string, stringArray, data, object };

    // Opens (reads) the store kept in `filePath`; a missing file is an empty store.
    explicit UserDefaults(std::string filePath);

    // The process's store, chosen at launch with setStandard; until then one
    // on "$XDG_CONFIG_HOME/Tidewell/defaults.json".
    static std::shared_ptr<UserDefaults> standard();
    static void setStandard(std::shared_ptr<UserDefaults> defaults);
    static std::string standardFilePath(std::string_view fileName = "defaults.json");

    const std::string& filePath() const { return filePath_; }

    // Presence: any value of any kind under `key`; returns its JSON form
    // (data as base64 text).
    std::optional<nlohmann::json> object(std::string_view key) const;
    bool contains(std::string_view key) const { return object(key).has_value(); }
    std::optional<Kind> kind(std::string_view key) const;

    // Typed getters: none when the key is missing or holds another kind
    // (doubleValue also reads an integer).
    std::optional<bool> boolValue(std::string_view key) const;
    std::optional<std::int64_t> integerValue(std::string_view key) const;
    std::optional<double> doubleValue(std::string_view key) const;
    std::optional<std::string> stringValue(std::string_view key) const;
    std::optional<std::vector<std::string>> stringArray(std::string_view key) const;
    std::optional<std::vector<std::uint8_t>> dataValue(std::string_view key) const;

    void setBool(std::string_view key, bool value);
    void setInteger(std::string_view key, std::int64_t value);
    void setDouble(std::string_view key, double value);
    void setString(std::string_view key, std::string value);
    void setStringArray(std::string_view key, std::vector<std::string> value);
    void setData(std::string_view key, std::vector<std::uint8_t> value);
    void setObject(std::string_view key, nlohmann::json value);
    void remove(std::string_view key);

    // Whether the last write reached the disk.
    bool lastWriteSucceeded() const;
    // Where the file was kept aside when it could not be read at opening.
    std::optional<std::string> setAsidePath() const;
    // The keys the file held at opening whose entries could not be read; the
    // copy kept aside holds them.
    std::vector<std::string> unreadableKeys() const;
    // Why the file could not be read at opening although it may be there, in
    // the system's words ("Permission denied"); while set, nothing is written
    // to the file.
    std::optional<std::string> unreadableFileReason() const;
    // Why the file, read at opening, may not be replaced ("it is read-only",
    // "it belongs to another user", or in the system's words), or, when there
    // was none, why it cannot be made ("its folder is read-only"); while set,
    // nothing is written to the file and changes live in memory.
    std::optional<std::string> unwritableFileReason() const;

    // Keeps a change handler registered; dropping it (or `cancel`) removes it.
    class Observation {
    public:
        Observation() = default;
        explicit Observation(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
        Observation(Observation&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
        Observation& operator=(Observation&& other) noexcept
        {
            if (this != &other) {
                cancel();
                cancel_ = std::exchange(other.cancel_, nullptr);
            }
            return *this;
        }
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;
        ~Observation() { cancel(); }
        void cancel()
        {
            if (auto c = std::exchange(cancel_, nullptr)) c();
        }

    private:
        std::function<void()> cancel_;
    };
    // Calls `changed` after every write or removal that changes the value
    // under `key`, on the writing thread, outside the store's lock.
    [[nodiscard]] Observation observe(std::string key, std::function<void()> changed);
    // Calls `refused` when a save finds the file protected while this runs
    // (unwritableFileReason is set from then on), on the writing thread,
    // outside the store's lock.
    [[nodiscard]] Observation observeRefusal(std::function<void()> refused);

private:
    struct Entry {
        Kind kind;
        nlohmann::json value;
    };
    void load();
    void keepCopyLocked(const std::string& why);
    // True when this look found the file unwritable.
    bool noteIfUnwritableLocked();
    void set(std::string_view key, Kind kind, nlohmann::json value);
    void notify(std::string_view key);
    // True when this save found the file protected since the last one.
    bool persistLocked();
    const Entry* findLocked(std::string_view key) const;

    std::string filePath_;
    mutable std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> entries_;
    bool lastWriteSucceeded_ = true;
    std::optional<std::string> setAsidePath_;
    std::vector<std::string> unreadableKeys_;
    std::optional<std::string> unreadableFileReason_;
    std::optional<std::string> unwritableFileReason_;

    struct Observers {
        std::mutex mutex;
        std::uint64_t next = 0;
        std::multimap<std::string, std::pair<std::uint64_t, std::shared_ptr<std::function<void()>>>, std::less<>> byKey;
    };
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
};

}  // namespace platform
