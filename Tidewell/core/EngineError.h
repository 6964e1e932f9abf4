#pragma once
// The one error type of the engine boundary, with its user-facing texts.

#include <exception>
#include <string>

namespace tidewell {

class EngineError : public std::exception {
public:
    enum class Kind { binaryMissing, failed, decode, timedOut, cancelled, held };

    static EngineError binaryMissing(std::string where) { return EngineError(Kind::binaryMissing, std::move(where)); }
    static EngineError failed(std::string text) { return EngineError(Kind::failed, std::move(text)); }
    static EngineError decode() { return EngineError(Kind::decode, {}); }
    static EngineError timedOut() { return EngineError(Kind::timedOut, {}); }
    static EngineError cancelled() { return EngineError(Kind::cancelled, {}); }
    // Stopped, and still running after SIGKILL: no longer waited for.
    static EngineError held() { return EngineError(Kind::held, {}); }

    Kind kind() const { return kind_; }
    // The text carried by binaryMissing and failed; empty for the others.
    const std::string& payload() const { return payload_; }
    // The sentence shown to the user.
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const EngineError& other) const { return kind_ == other.kind_ && payload_ == other.payload_; }

private:
    EngineError(Kind kind, std::string payload);
    Kind kind_;
    std::string payload_;
    std::string message_;
};

}  // namespace tidewell
