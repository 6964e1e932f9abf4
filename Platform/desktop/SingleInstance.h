#pragma once
// One running instance per user: a second launch hands its arguments (the
// URLs the desktop asked it to open among them) to the running instance over
// a local socket and exits. The socket lives in the user's runtime folder and
// only this user can open it; arguments travel as raw bytes, unchanged.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLocalServer;

namespace platform {

class SingleInstance {
public:
    using Receiver = std::function<void(std::vector<std::string> arguments)>;

    // Longest argument and most arguments one hand-over may carry; a message
    // over either limit is dropped whole.
    static constexpr std::size_t maxArgumentBytes = 8 * 1024;
    static constexpr std::size_t maxArguments = 32;

    // `name` names the socket; `directory` is where it lives (empty: the
    // user's runtime folder, else the temporary folder with the user id in
    // the name).
    explicit SingleInstance(std::string name, std::string directory = {});
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Gives `arguments` to the running instance. True when one took them (the
    // caller should exit); false when none runs or its socket isn't this
    // user's.
    bool handOver(const std::vector<std::string>& arguments, int timeoutMs = 2000) const;

    // Becomes the running instance; `receive` runs on the main thread with
    // each accepted hand-over. False when the socket can't be made (the
    // application then runs on without taking hand-overs).
    bool listen(Receiver receive);

    const std::string& socketPath() const { return path_; }

private:
    std::string path_;
    QLocalServer* server_ = nullptr;
    Receiver receive_;
};

// The arguments that are absolute URLs ("scheme:…"), in order, raw (pure).
std::vector<std::string> urlArguments(const std::vector<std::string>& arguments);

// Splits a hand-over message (a header, then arguments each ended by NUL);
// none when it breaks the limits or is malformed (pure).
std::optional<std::vector<std::string>> decodeHandOver(const std::string& message);
std::string encodeHandOver(const std::vector<std::string>& arguments);

}  // namespace platform
