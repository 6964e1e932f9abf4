#pragma once
// Secrets kept for the user: one generic password per (service, account),
// on the desktop's Secret Service. There is no plaintext fallback: without a
// Secret Service secrets live in memory for this run only, and `isPersistent`
// says so. Code asks `Keychain::shared()`; tests install a `MemoryKeychain`.

#include <map>
#include <optional>
#include <string>
#include <utility>

namespace platform {

struct KeychainItem {
    std::string service;
    std::string account;
    auto operator<=>(const KeychainItem&) const = default;
};

class Keychain {
public:
    virtual ~Keychain() = default;

    // The stored secret; none when missing or unreadable.
    virtual std::optional<std::string> read(const KeychainItem& item) = 0;
    // Replaces the secret in one step: when it fails, the old one is still
    // there. False on failure.
    virtual bool write(const KeychainItem& item, const std::string& secret) = 0;
    // Removes the item; removing a missing one succeeds.
    virtual bool remove(const KeychainItem& item) = 0;
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

    std::optional<std::string> read(const KeychainItem& item) override {
        const auto it = items.find(item);
        return it == items.end() ? std::nullopt : std::optional(it->second);
    }
    bool write(const KeychainItem& item, const std::string& secret) override {
        if (failWrites) return false;
        items[item] = secret;
        return true;
    }
    bool remove(const KeychainItem& item) override {
        items.erase(item);
        return true;
    }
    bool isPersistent() const override { return false; }
};

// The Secret Service (org.freedesktop.secrets on the session bus) through
// QtKeychain. Calls wait for the service, serving the main event loop
// meanwhile (an unlock prompt may be up).
class SecretServiceKeychain final : public Keychain {
public:
    std::optional<std::string> read(const KeychainItem& item) override;
    bool write(const KeychainItem& item, const std::string& secret) override;
    bool remove(const KeychainItem& item) override;
    bool isPersistent() const override;

private:
    bool serviceAvailable() const;
    mutable std::optional<bool> available_;
    MemoryKeychain memory_;
};

}  // namespace platform
