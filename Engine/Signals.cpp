#include "Signals.h"

#include <csignal>
#include <cstdlib>
#include <unistd.h>

namespace tidewell::engine {

namespace {
std::atomic<bool> gTerminate{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onTerminate(int) { gTerminate.store(true); }
}  // namespace

const std::atomic<bool>& installTerminationFlag() {
    struct sigaction sa {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    // A parent may hand down a mask that blocks SIGTERM; the engine must still
    // stop when asked.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    return gTerminate;
}

void endByTermination() {
    std::signal(SIGTERM, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGTERM);
    _exit(128 + SIGTERM);
}

}  // namespace tidewell::engine
