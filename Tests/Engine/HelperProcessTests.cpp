// A helper's lines reach the engine whole, and a helper that falls silent,
// dies, floods or is outlived by a stop request ends the read as such. The
// helper here is a shell script in the engine's place, given the same
// command line.

#include "EngineTestSupport.h"
#include "HelperProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <future>
#include <thread>

using namespace enginetest;
using tidewell::engine::HelperLimits;
using tidewell::engine::HelperProcess;
using tidewell::engine::HelperSlots;

namespace {

class Helper : public ::testing::Test {
protected:
    TempDir tmp;
    std::string engine = HelperProcess::executable;
    std::atomic<bool> stop{false};
    HelperSlots slots{2};
    std::vector<std::string> lines;

    // The script answers for the engine: "$1" is --helper, "$2" the mode.
    void SetUp() override {
        writeText(tmp / "helper", "#!/bin/sh\n[ \"$1\" = --helper ] || exit 9\nmode=$2; shift 3\n"
                                  "case $mode in\n"
                                  "  print) for line in \"$@\"; do printf '%s\\n' \"$line\"; done ;;\n"
                                  "  files) readlink /proc/$$/cwd /proc/$$/fd/0 /proc/$$/fd/2; exec ls /proc/self/fd ;;\n"
                                  "  count) exec seq \"$1\" ;;\n"
                                  "  fail) echo half; exit 3 ;;\n"
                                  "  hold) echo waiting; exec sleep 600 ;;\n"
                                  "  outlived) sleep 2 & echo done ;;\n"
                                  "  own) echo $$; exec sleep 600 ;;\n"
                                  "  flood) echo first; exec tr '\\0' a < /dev/zero ;;\n"
                                  "esac\n");
        chmod((tmp / "helper").c_str(), 0755);
        HelperProcess::executable = tmp / "helper";
    }
    void TearDown() override { HelperProcess::executable = engine; }

    HelperProcess::End run(const std::string& mode, const std::vector<std::string>& args = {}, HelperLimits limits = {}) {
        HelperProcess helper(mode, args, limits, slots, stop);
        lines.clear();
        for (std::string line; helper.nextLine(line);) {
            lines.push_back(line);
            if (line == "waiting" && mode == "hold" && limits.silence > std::chrono::minutes(1)) stop = true;
        }
        return helper.end();
    }
};

}  // namespace

TEST_F(Helper, LinesAndRecordsArriveWhole) {
    const std::string record = tidewell::engine::helperRecord({"new", "a\tpath\nwith\\ all", ""});
    EXPECT_EQ(run("print", {"one", record, "", std::string(100000, 'x')}), HelperProcess::End::Finished);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", record, "", std::string(100000, 'x')}));
    EXPECT_EQ(tidewell::engine::helperFields(lines[1]), (std::vector<std::string>{"new", "a\tpath\nwith\\ all", ""}));
    // Many lines, across every read's end.
    EXPECT_EQ(run("count", {"200000"}), HelperProcess::End::Finished);
    ASSERT_EQ(lines.size(), 200000u);
    EXPECT_EQ(lines[0] + " " + lines[99999] + " " + lines.back(), "1 100000 200000");
}

// It holds nothing of the engine's: no descriptor beyond its three (its
// output the pipe), not the folder the engine works in.
TEST_F(Helper, HoldsNoneOfTheEnginesDescriptors) {
    const int kept = open((tmp / "helper").c_str(), O_RDONLY);  // not close-on-exec
    ASSERT_GE(kept, 3);
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_EQ(run("files"), HelperProcess::End::Finished);
    close(kept);
    ASSERT_EQ(chdir("/"), 0);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), (std::vector<std::string>{"/", "/dev/null", "/dev/null"}));
    // ls lists the folder it reads as well: 3 there is its own.
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()), (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST_F(Helper, OneThatFallsSilentDiesFloodsOrIsStoppedIsLeftAndNamed) {
    HelperLimits quick;
    quick.silence = std::chrono::milliseconds(200);
    EXPECT_EQ(run("fail"), HelperProcess::End::Died);
    EXPECT_EQ(lines, std::vector<std::string>{"half"}) << "what came before counts; the caller judges it";
    EXPECT_EQ(run("hold", {}, quick), HelperProcess::End::Silent);
    HelperLimits held;
    held.silence = std::chrono::hours(1);
    EXPECT_EQ(run("hold", {}, held), HelperProcess::End::Stopped) << "stopped as soon as the stop request came";
    stop = false;
    EXPECT_EQ(run("flood"), HelperProcess::End::Died);
    EXPECT_EQ(lines, std::vector<std::string>{"first"});
    HelperProcess::executable = tmp / "missing";
    EXPECT_EQ(run("print", {"one"}), HelperProcess::End::Died);
}

// A helper whose output outlives it (a process it started holds the pipe)
// is reaped once, and never another child of the engine in its place: that
// one's end stays its own to tell.
TEST_F(Helper, OneWhoseOutputOutlivesItReapsNoOtherChild) {
    const pid_t other = fork();
    if (other == 0) _exit(7);
    ASSERT_GT(other, 0);
    siginfo_t ended{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(other), &ended, WEXITED | WNOWAIT), 0);
    HelperLimits patient;
    patient.silence = std::chrono::minutes(1);
    EXPECT_EQ(run("outlived", {}, patient), HelperProcess::End::Finished);
    EXPECT_EQ(lines, std::vector<std::string>{"done"});
    int status = 0;
    EXPECT_EQ(waitpid(other, &status, WNOHANG), other) << "reaped by the helper's read";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
}

// A helper left behind, silent or stopped, is killed at once, not when the
// thread that started it ends, and reaped when the next one starts.
TEST_F(Helper, OneLeftBehindIsKilledAtOnceAndReapedByTheNext) {
    for (const bool silent : {true, false}) {
        SCOPED_TRACE(silent ? "silent" : "stopped");
        HelperLimits limits;
        limits.silence = silent ? std::chrono::milliseconds(200) : std::chrono::hours(1);
        std::string pid;
        {
            HelperProcess helper("own", {}, limits, slots, stop);
            ASSERT_TRUE(helper.nextLine(pid));
            if (!silent) stop = true;
            for (std::string line; helper.nextLine(line);) {
            }
            EXPECT_EQ(helper.end(), silent ? HelperProcess::End::Silent : HelperProcess::End::Stopped);
            // Still held by this thread's helper object, it has ended: a zombie, or reaped already.
            const auto ended = [&] {
                const std::string stat = readText("/proc/" + pid + "/stat");
                return stat.empty() || stat.find(") Z ") != std::string::npos;
            };
            for (int i = 0; i < 12000 && !ended(); ++i) usleep(10000);
            EXPECT_TRUE(ended());
        }
        stop = false;
        EXPECT_EQ(run("print", {"x"}), HelperProcess::End::Finished);
        EXPECT_EQ(readText("/proc/" + pid + "/stat"), "") << "reaped";
    }
}

// Waiting for a slot ends on a stop request too; a slot comes back when its
// helper ends, whatever way, and only once.
TEST_F(Helper, AtMostTheSlotsRunAtOnce) {
    HelperSlots one(1);
    HelperLimits held;
    held.silence = std::chrono::hours(1);
    {
        HelperProcess ended("print", {"x"}, held, one, stop);
        for (std::string line; ended.nextLine(line);) {
        }
        EXPECT_EQ(ended.end(), HelperProcess::End::Finished);
    }
    {
        HelperProcess running("hold", {}, held, one, stop);
        std::string line;
        ASSERT_TRUE(running.nextLine(line));
        std::atomic<bool> started{false};
        auto waiting = std::async(std::launch::async, [&] {
            const HelperProcess second("print", {"x"}, held, one, stop);
            started = true;
            return second.end();
        });
        // However long it is given, it waits for the slot the first holds.
        EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        EXPECT_FALSE(started);
        stop = true;
        EXPECT_EQ(waiting.get(), HelperProcess::End::Stopped);
    }
    stop = false;
    HelperProcess next("print", {"x"}, held, one, stop);
    std::string line;
    EXPECT_TRUE(next.nextLine(line));
}
