#pragma once
// The process's launch arguments and environment.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Set once by main(); tests may replace them.
void setProcessArguments(int argc, const char* const* argv);
void setProcessArguments(std::vector<std::string> arguments);
// argv as given to main(), program name first; empty until set.
std::vector<std::string> processArguments();
// True when one element equals `argument` exactly.
bool hasArgument(std::string_view argument);
// The value of an environment variable, none when it is unset.
std::optional<std::string> environmentValue(const std::string& name);
// True on the process's first thread (the one main() runs on).
bool isMainThread();
// Hands heap pages that are free again back to the system. Work on a thread
// of its own leaves its freed memory in that thread's heap, where nothing
// else reuses it; call this after such work dropped a large temporary.
void releaseFreedMemory();

}  // namespace platform
