#include "foundation/ProcessInfo.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

#include <malloc.h>

namespace platform {
namespace {

std::mutex& argumentsMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& storedArguments() {
    static std::vector<std::string> args;
    return args;
}

}  // namespace

void setProcessArguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    setProcessArguments(std::move(args));
}

void setProcessArguments(std::vector<std::string> arguments) {
    std::lock_guard lock(argumentsMutex());
    storedArguments() = std::move(arguments);
}

std::vector<std::string> processArguments() {
    std::lock_guard lock(argumentsMutex());
    return storedArguments();
}

bool hasArgument(std::string_view argument) {
    std::lock_guard lock(argumentsMutex());
    const auto& args = storedArguments();
    return std::find(args.begin(), args.end(), argument) != args.end();
}

std::optional<std::string> environmentValue(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    if (!v) return std::nullopt;
    return std::string(v);
}

bool isMainThread() {
    // On Linux the first thread's id is the process id.
    return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

void releaseFreedMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

}  // namespace platform
