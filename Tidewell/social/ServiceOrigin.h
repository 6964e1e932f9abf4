#pragma once
// The base address of every web request and page, and the session token kept
// in the keychain service. The token is read from there whenever a request
// needs it and is never logged or written anywhere else. The keychain answers
// later (an unlock prompt may be up), on the main thread.

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tidewell {

// The built-in service: "https://tidewell.app".
inline constexpr const char* builtInServiceHost = "tidewell.app";

// `TIDEWELL_SITE` when it is set to an absolute http(s) address with a host,
// else the built-in origin. Read anew on every call.
std::string serviceOrigin();

// `base` with `path` ("api/app/token") appended after one "/".
std::string appendingPath(const std::string& base, const std::string& path);
// `base` with `piece` appended as one path segment: every byte outside the
// unreserved set is percent-encoded, "/", "?" and "#" included.
std::string appendingPathPiece(const std::string& base, const std::string& piece);
// The origin of an absolute address, "scheme://host:port" with the scheme's
// default port filled in ("" when it has no host).
std::string originOf(const std::string& url);

void readSessionToken(std::function<void(std::optional<std::string>)> done);
void storeSessionToken(const std::string& token);
void deleteSessionToken();

// What a read of the session token found.
enum class SessionTokenRead { found, missing, locked };
// `watcher` hears what every later read of the session token finds, whoever
// asked for it, for as long as `owner` lives; a read answered after a later
// store or delete was asked is not told, as it no longer says what is there.
void watchSessionToken(std::weak_ptr<void> owner, std::function<void(SessionTokenRead)> watcher);

}  // namespace tidewell
