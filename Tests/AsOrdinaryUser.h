// Runs a check as an ordinary user: tests run as root, whom no permission bit
// refuses, so a check about refusal is done in a forked child that has dropped
// to "nobody". The child only answers yes or no through its exit status.
#pragma once

#include <functional>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

constexpr uid_t kNobody = 65534;

// 0 when the check holds as "nobody", 1 when it does not, another value when
// the child could not drop its privileges or died.
inline int asOrdinaryUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check() ? 0 : 1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
            ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(3);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace testsupport
