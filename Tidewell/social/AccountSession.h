#pragma once
// The user's web account: sign-in through the browser with a one-time code
// sent back to tidewell://activate, the signed-in identity, the last sign-in
// failure and sign-out. The token lives only in the keychain service.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "runtime/Clock.h"
#include "runtime/Published.h"
#include "social/ServiceOrigin.h"

namespace tidewell {

namespace keys {
inline constexpr const char* accountEmail = "account.email";
inline constexpr const char* accountName = "account.name";
// Set while signed in: the keyring is asked at launch only when it is.
inline constexpr const char* accountSignedIn = "account.signedIn";
}  // namespace keys

// How long an activation is awaited after "Sign In" was chosen.
inline constexpr std::chrono::minutes signInWindow{15};

// The code of a well-formed sign-in callback: scheme "tidewell" and host
// "activate" exactly, and the first "code" item, present and not empty.
std::optional<std::string> signInCallbackCode(const std::string& url);

class AccountSession final : public platform::ObservableObject {
public:
    // Signed in at once when an account was stored, until the keychain,
    // which answers later, says it holds no token. Without a stored account
    // the keychain is not asked at all.
    AccountSession();
    static std::shared_ptr<AccountSession> shared();

    // The session follows every read of its token, whoever asks: a keyring
    // found locked makes it `keyringLocked` (not signed in, the stored
    // account still shown), and the token found again signs it back in.
    platform::Published<bool> isSignedIn;
    platform::Published<bool> keyringLocked;
    platform::Published<std::optional<std::string>> accountEmail;
    platform::Published<std::optional<std::string>> accountName;
    platform::Published<std::optional<std::string>> signInMessage;

    // Runs after each successful sign-in (the store schedules a report).
    std::function<void()> onSignedIn;
    // Runs when nothing on the desktop could open the sign-in page, with its
    // address and why (the store says so in its banner).
    std::function<void(const std::string& url, const std::string& reason)> onBrowserFailed;

    // <origin>/account?from=app&intent=signin
    std::string accountPageURL(bool intent) const;
    void beginSignIn();
    // Acts only on a sign-in callback while a sign-in this run began is
    // awaited (measured on the monotonic clock); the first callback that
    // acts closes the wait. Anything else is ignored silently.
    void handleSignInCallback(const std::string& url);
    void signOut();
    // Reads the token again: a locked keyring shows its unlock prompt.
    void unlockKeyring();

    // The name shown for the account: the name, else the e-mail address.
    std::optional<std::string> displayName() const;

private:
    void exchange(const std::string& code);
    void follow(SessionTokenRead read);
    void showStoredAccount();
    std::optional<platform::MonotonicTime> signInStarted_;
    // A token was found or stored this run: a later read that finds none
    // (a failed write) leaves the session signed in for this run.
    bool tokenSeen_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tidewell
