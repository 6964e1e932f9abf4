#include "core/EngineError.h"

namespace tidewell {

namespace {

std::string messageFor(EngineError::Kind kind, const std::string& payload) {
    switch (kind) {
    case EngineError::Kind::binaryMissing: return "tidewell binary not found at " + payload;
    case EngineError::Kind::failed: return payload;
    case EngineError::Kind::decode: return "Could not decode engine output";
    case EngineError::Kind::timedOut: return "The scan or clean timed out. Try again with fewer folders.";
    case EngineError::Kind::cancelled: return "Cancelled";
    case EngineError::Kind::held:
        return "The engine did not end when Tidewell stopped it, most likely held by a folder that does not answer. "
               "Tidewell no longer waits for it, so you can scan again.";
    }
    return payload;
}

}  // namespace

EngineError::EngineError(Kind kind, std::string payload)
    : kind_(kind), payload_(std::move(payload)), message_(messageFor(kind_, payload_)) {}

}  // namespace tidewell
