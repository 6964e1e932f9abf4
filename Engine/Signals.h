#pragma once
// A termination request (SIGTERM) only raises a flag: the work stops at its
// next safe point, records what it must, and then ends by the signal itself.

#include <atomic>

namespace tidewell::engine {

const std::atomic<bool>& installTerminationFlag();

// Ends the process by SIGTERM with its default action.
[[noreturn]] void endByTermination();

}  // namespace tidewell::engine
