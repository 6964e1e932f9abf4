#pragma once
// Secrets kept for the user: one generic password per (service, account),
// on the desktop's Secret Service. There is no plaintext fallback: without a
// Secret Service secrets live in memory for this run only, and `isPersistent`
// says so. Code asks `Keychain::shared()`; tests install a `MemoryKeychain`.
//
// Every call answers later, on the main thread, exactly once, in the order
// the calls were made: a locked keyring's unlock prompt may be up for
// minutes, and nothing may wait for it, the first frame least of all.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace platform {

struct KeychainItem {
    std::string service;
    std::string account;
    auto operator<=>(const KeychainItem&) const = default;
};

// What a read found: the secret, or why there is none.
struct KeychainRead {
    std::optional<std::string> secret;
    // No secret because the keyring would not open (its unlock prompt was
    // cancelled, or nobody answered it in time), not because none is stored:
    // the same read may find it once the keyring is unlocked.
    bool locked = false;
};

class Keychain {
public:
    using ReadDone = std::function<void(KeychainRead)>;
    using Done = std::function<void(bool ok)>;

    virtual ~Keychain() = default;

    virtual void read(const KeychainItem& item, ReadDone done) = 0;
    // Replaces the secret in one step: when it fails, the old one is still there.
    virtual void write(const KeychainItem& item, const std::string& secret, Done done = nullptr) = 0;
    // Removes the item; removing a missing one succeeds.
    virtual void remove(const KeychainItem& item, Done done = nullptr) = 0;
    // False while secrets are kept for this run only.
    virtual bool isPersistent() const = 0;

    static Keychain& shared();
    // Installs `keychain` (not owned); nullptr restores the desktop's.
    static void setShared(Keychain* keychain);
};

// Secrets in memory: the test fake, and the store of a run without a Secret Service.
class MemoryKeychain final : public Keychain {
public:
    std::map<KeychainItem, std::string> items;
    bool failWrites = false;  // for tests: every write fails
    bool answers = true;      // for tests: false keeps every call waiting, as a keyring nobody unlocks
    bool locked = false;      // for tests: every read finds the keyring locked, as after a cancelled prompt

    void read(const KeychainItem& item, ReadDone done) override;
    void write(const KeychainItem& item, const std::string& secret, Done done = nullptr) override;
    void remove(const KeychainItem& item, Done done = nullptr) override;
    bool isPersistent() const override { return false; }

    // Calls still waiting for an answer (while `answers` is false).
    std::size_t waitingCalls() const { return waiting_.size(); }

private:
    void answer(std::function<void()> call);
    std::deque<std::function<void()>> waiting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The Secret Service (org.freedesktop.secrets on the session bus) through
// QtKeychain, one call at a time. A call the service leaves unanswered
// (an unlock prompt nobody answers) fails after `timeout`, a read as locked,
// and the next one starts. Whether the service runs is asked on a task; a bus
// that gives no answer within `servicePatience` counts as one without it for
// that call, and the next call asks again.
class SecretServiceKeychain final : public Keychain {
public:
    explicit SecretServiceKeychain(std::chrono::milliseconds timeout = std::chrono::minutes(1),
                                   std::chrono::milliseconds servicePatience = std::chrono::seconds(3));
    ~SecretServiceKeychain() override;

    void read(const KeychainItem& item, ReadDone done) override;
    void write(const KeychainItem& item, const std::string& secret, Done done = nullptr) override;
    void remove(const KeychainItem& item, Done done = nullptr) override;
    // What the last answer about the service said; false before any answer.
    bool isPersistent() const override;

private:
    struct Call;
    void enqueue(std::unique_ptr<Call> call);
    void startNext();
    void startJob(Call& call);
    void finish(int error);
    // Answers the front call from memory, for a run without the service.
    void answerFromMemory();
    // Asks, on a task, whether the service is on the bus; the answer starts the waiting call.
    void askWhetherServiceRuns();
    // Answers the read `call`, whose job found nothing, with whether the service
    // holds its item in a locked keyring (not locked when it does not say).
    void askWhetherLocked(Call& call);
    // Drops the library's connection, which a restarted service no longer
    // knows, and starts `call` again, once.
    void retryOnAFreshConnection(Call& call);

    std::chrono::milliseconds timeout_;
    std::chrono::milliseconds servicePatience_;
    std::optional<bool> available_;
    bool askingService_ = false;
    std::uint64_t serviceWait_ = 0;  // nonzero while the front call waits for the answer
    MemoryKeychain memory_;
    std::deque<std::unique_ptr<Call>> queue_;
    bool running_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace platform
