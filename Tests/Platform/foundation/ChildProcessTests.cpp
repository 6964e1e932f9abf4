#include "foundation/ChildProcess.h"

#include "Platform/foundation/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <thread>
#include <unistd.h>

using platform::ChildProcess;
using platform::ExitStatus;

namespace {

ChildProcess::Options shell(const std::string& script) {
    ChildProcess::Options options;
    options.executable = "/bin/sh";
    options.arguments = {"-c", script};
    return options;
}

std::string readAll(int fd) {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
}

}  // namespace

TEST(ChildProcess, StreamsExitStatusAndArguments) {
    auto options = shell("printf '%s|' \"$0\" \"$1\" \"$2\"; echo err >&2; exit 3");
    options.arguments.insert(options.arguments.end(), {"zero", "one two", "$three"});
    auto child = ChildProcess::spawn(options);
    EXPECT_EQ(readAll(child->standardOutput().get()), "zero|one two|$three|");
    EXPECT_EQ(readAll(child->standardError().get()), "err\n");
    EXPECT_EQ(child->wait(), (ExitStatus{ExitStatus::Reason::exited, 3}));
    EXPECT_EQ(child->wait(), (ExitStatus{ExitStatus::Reason::exited, 3}));  // idempotent
    EXPECT_FALSE(child->terminate());  // reaped: nothing is signalled
}

TEST(ChildProcess, StandardInputIsTheNullDeviceAndTheEnvironmentExactlyWhatIsGiven) {
    auto out = ChildProcess::run(shell("cat; echo done"));
    EXPECT_EQ(out.standardOutput, "done\n");
    EXPECT_TRUE(out.status.success());
    auto options = shell("echo \"${ONLY:-unset} ${HOME:-nohome}\"");
    options.environment = std::vector<std::string>{"ONLY=this"};
    EXPECT_EQ(ChildProcess::run(options).standardOutput, "this nohome\n");

    testing_support::ScopedEnvironment inherited("TIDEWELL_CHILD_TEST", "inherited");
    EXPECT_EQ(ChildProcess::run(shell("echo $TIDEWELL_CHILD_TEST")).standardOutput, "inherited\n");
}

TEST(ChildProcess, SignalsAndTheirStatus) {
    auto child = ChildProcess::spawn(shell("exec sleep 30"));
    EXPECT_TRUE(child->isRunning());
    EXPECT_FALSE(child->tryWait().has_value());
    EXPECT_TRUE(child->terminate());
    EXPECT_EQ(child->wait(), (ExitStatus{ExitStatus::Reason::signaled, SIGTERM}));
    EXPECT_FALSE(child->isRunning());
    EXPECT_FALSE(child->kill());
}

TEST(ChildProcess, SignalsFromAnotherThreadWhileWaiting) {
    auto child = ChildProcess::spawn(shell("trap '' TERM; echo ready; while :; do sleep 1 </dev/null >/dev/null 2>&1; done"));
    char c;
    ASSERT_EQ(::read(child->standardOutput().get(), &c, 1), 1);  // the trap is set
    std::thread killer([&] {
        child->terminate();  // ignored
        child->kill();
    });
    ExitStatus status = child->wait();
    killer.join();
    EXPECT_EQ(status, (ExitStatus{ExitStatus::Reason::signaled, SIGKILL}));
}

TEST(ChildProcess, TheChildStartsWithDefaultSignalHandling) {
    // A parent that ignores SIGTERM (or blocks it) must not hand that on.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &ignore, &old);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);
    auto child = ChildProcess::spawn(shell("exec sleep 30"));
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    sigaction(SIGTERM, &old, nullptr);
    child->terminate();
    EXPECT_EQ(child->wait(), (ExitStatus{ExitStatus::Reason::signaled, SIGTERM}));
}

TEST(ChildProcess, RefusedLaunchesThrowTheSystemError) {
    ChildProcess::Options missing;
    missing.executable = "/nonexistent/tidewell-engine";
    try {
        ChildProcess::spawn(missing);
        FAIL() << "spawned a missing file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT);
    }
    testing_support::TemporaryDirectory dir;
    ChildProcess::Options notExecutable;
    notExecutable.executable = dir.write("plain", "#!/bin/sh\n", 0644);
    if (::geteuid() != 0) {
        EXPECT_THROW(ChildProcess::spawn(notExecutable), std::system_error);
    }
}

TEST(ChildProcess, PipesAreNotLeakedIntoOtherChildren) {
    // A second child must not hold the first one's pipes open, or the first
    // one's readers would never see the end of the stream.
    auto first = ChildProcess::spawn(shell("echo first"));
    auto second = ChildProcess::spawn(shell("exec sleep 30"));
    EXPECT_EQ(readAll(first->standardOutput().get()), "first\n");  // returns although `second` lives
    first->wait();
    second->kill();
    second->wait();
}

TEST(ChildProcess, RunWithATimeoutTerminatesThenKills) {
    auto out = ChildProcess::run(shell("echo partial; exec sleep 30"), std::chrono::milliseconds(50));
    EXPECT_TRUE(out.timedOut);
    EXPECT_EQ(out.standardOutput, "partial\n");
    EXPECT_EQ(out.status, (ExitStatus{ExitStatus::Reason::signaled, SIGTERM}));

    auto stubborn = ChildProcess::run(
        shell("trap '' TERM; exec 1>&- 2>&-; while :; do sleep 1; done"), std::chrono::milliseconds(50),
        std::chrono::milliseconds(50));
    EXPECT_TRUE(stubborn.timedOut);
    EXPECT_EQ(stubborn.status, (ExitStatus{ExitStatus::Reason::signaled, SIGKILL}));
}

TEST(ChildProcess, LargeOutputOnBothStreamsDoesNotDeadlock) {
    auto out = ChildProcess::run(shell("head -c 3000000 /dev/zero; head -c 3000000 /dev/zero >&2"));
    EXPECT_EQ(out.standardOutput.size(), 3'000'000u);
    EXPECT_EQ(out.standardError.size(), 3'000'000u);
}

TEST(ChildProcess, DestroyingARunningChildKillsAndReapsIt) {
    pid_t pid;
    {
        auto child = ChildProcess::spawn(shell("exec sleep 30"));
        pid = child->pid();
    }
    EXPECT_EQ(::kill(pid, 0), -1);  // gone, not a zombie left behind
}
