#pragma once
// A throw-away application bundle with a fake engine installed beside a fake
// application executable, and the data folder pointed into it.

#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/ProcessInfo.h"
#include "Platform/foundation/TemporaryDirectory.h"

#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

class EngineTestBundle {
public:
    EngineTestBundle() : data_("XDG_DATA_HOME", (dir_.path() + "/data").c_str()) {
        std::filesystem::create_directories(binDirectory());
        platform::Bundle::setMainForTesting(appExecutable());
        platform::setProcessArguments({appExecutable()});
    }
    ~EngineTestBundle() {
        platform::Bundle::resetMainForTesting();
        platform::setProcessArguments(std::vector<std::string>{});
    }

    const TemporaryDirectory& dir() const { return dir_; }
    std::string binDirectory() const { return dir_ / "App/bin"; }
    std::string appExecutable() const { return dir_ / "App/bin/tidewell"; }
    std::string enginePath() const { return dir_ / "App/bin/tidewell-engine"; }
    std::string resourceDirectory() const { return dir_ / "App/Resources"; }
    std::string databasePath() const { return dir_ / "data/Tidewell/tidewell.sqlite"; }

    // Installs one of the fake engines of Tests/Tidewell/core/fakes.
    void installEngine(const std::string& fakeName) const {
        std::filesystem::copy_file(std::string(TIDEWELL_FAKE_ENGINES) + "/" + fakeName, enginePath(),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(enginePath(), std::filesystem::perms::owner_all |
                                                       std::filesystem::perms::group_read |
                                                       std::filesystem::perms::group_exec);
    }
    // Prepares what the scripted engine prints and how it exits.
    void script(const std::string& stdoutText, const std::string& stderrText = {}, int exitStatus = 0) const {
        installEngine("scripted.sh");
        dir_.write("App/bin/stdout.txt", stdoutText);
        dir_.write("App/bin/stderr.txt", stderrText);
        dir_.write("App/bin/exit.txt", std::to_string(exitStatus));
    }
    // The arguments the scripted engine was given (after the program name).
    std::vector<std::string> recordedArguments() const { return lines(dir_ / "App/bin/args.txt"); }
    std::vector<std::string> recordedHomes() const { return lines(dir_ / "App/bin/env.txt"); }

private:
    static std::vector<std::string> lines(const std::string& path) {
        std::vector<std::string> out;
        std::istringstream in(platform::readFileContents(path).value_or(""));
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    TemporaryDirectory dir_;
    ScopedEnvironment data_;
};

// Engine runs refuse the main thread; tests call them from a worker.
template <class F>
auto offMainThread(F&& f) {
    return std::async(std::launch::async, std::forward<F>(f)).get();
}

}  // namespace testing_support
