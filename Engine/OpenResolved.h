#pragma once
// openat2, which the C library does not wrap: the engine opens with it what
// must be reached without entering a mount, following a link or asking a
// filesystem's server.

#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

namespace tidewell::engine {

// Opens `path` from `dirFd` with `flags`, resolved as `resolve` asks
// (RESOLVE_NO_XDEV, RESOLVE_CACHED …); -1 with errno set when it cannot
// (ENOSYS on a kernel without openat2).
inline int openResolved(int dirFd, const char* path, std::uint64_t flags, std::uint64_t resolve) {
    open_how how{};
    how.flags = flags;
    how.resolve = resolve;
    return static_cast<int>(syscall(SYS_openat2, dirFd, path, &how, sizeof how));
}

}  // namespace tidewell::engine
