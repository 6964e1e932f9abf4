// The application at its quit, in small: it runs the engine installed beside
// it, stops the run once stop.txt appears beside it (the test writes it when
// the engine waits in the kernel, where even SIGKILL leaves it), writes how
// the run ended to quit.txt and returns from main. The engines a run leaves
// behind must never hold that exit.

#include "core/EngineClient.h"
#include "core/EngineError.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>

int main() {
    using namespace tidewell;
    EngineClient::setKillGracePeriodForTesting(std::chrono::milliseconds(200));
    const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    auto token = std::make_shared<EngineCancelToken>();
    auto run = std::async(std::launch::async, [token] {
        try {
            EngineClient::run({"scan"}, 600, {}, token);
            return std::string("ended");
        } catch (const EngineError& e) {
            return std::string(e.kind() == EngineError::Kind::held ? "held" : "failed: " + e.message());
        }
    });
    // Guarded against a hang: the test waits for this process to end.
    const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(here / "stop.txt") && std::chrono::steady_clock::now() < guard)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    token->cancel();
    std::ofstream(here / "quit.txt") << run.get();
    return 0;
}
