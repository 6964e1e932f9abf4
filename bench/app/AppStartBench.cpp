// Launch to first painted frame: the application is started with
// "--ui-testing --window-size 1180x760" in a scratch home, and the clock stops
// when a probed pixel of the main window on the X server shows the frame.
// Baseline: an empty home. Measured: a home whose last dashboard holds 5,000
// projects over 17 stacks, to its first frame and to the frame that shows the
// restored dashboard. Each also reports the resident memory two seconds after
// that frame and its peak.

#include "SampleData.h"

#include "core/EngineRecords.h"

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The light window colour, sRGB (0.91, 0.949, 0.98).
constexpr int kWindowRGB[3] = {232, 242, 250};

struct Home {
    fs::path root;
    explicit Home(const std::string& name, int projects) {
        root = fs::temp_directory_path() / ("tidewell-start-bench-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(root);
        fs::create_directories(root / "config/Tidewell");
        const fs::path data = root / "data/Tidewell-UITests";
        fs::create_directories(data);
        if (projects > 0) {
            tidewell::fixtures::SampleOptions options;
            options.projects = projects;
            options.stacks = 17;
            std::ofstream(data / "last-dashboard.json") << tidewell::encode(tidewell::fixtures::sampleDashboard(options));
        }
    }
    ~Home() { fs::remove_all(root); }
};

// The first viewable top-level window named "Tidewell", or 0.
xcb_window_t findMainWindow(xcb_connection_t* c, xcb_window_t root) {
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree) return 0;
    xcb_window_t found = 0;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        auto* name = xcb_get_property_reply(
            c, xcb_get_property(c, 0, children[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64), nullptr);
        if (name && std::string(static_cast<const char*>(xcb_get_property_value(name)),
                                xcb_get_property_value_length(name)) == "Tidewell") {
            auto* attrs = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
            if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE) found = children[i];
            std::free(attrs);
        }
        std::free(name);
    }
    std::free(tree);
    return found;
}

struct RGB {
    int r = 0, g = 0, b = 0;
};
std::optional<RGB> pixel(xcb_connection_t* c, xcb_window_t window, int x, int y) {
    auto* image = xcb_get_image_reply(c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, x, y, 1, 1, ~0u), nullptr);
    if (!image) return std::nullopt;
    std::optional<RGB> rgb;
    const std::uint8_t* p = xcb_get_image_data(image);  // BGRX on a 24-bit server
    if (xcb_get_image_data_length(image) >= 3) rgb = RGB{p[2], p[1], p[0]};
    std::free(image);
    return rgb;
}

// The first frame: the top strip under the menu bar, at (590, 36), shows the window colour.
bool firstFrame(const RGB& p) {
    return std::abs(p.r - kWindowRGB[0]) <= 3 && std::abs(p.g - kWindowRGB[1]) <= 3 && std::abs(p.b - kWindowRGB[2]) <= 3;
}
// The restored dashboard: the orange "View Idle Projects" button of the
// reclaim card has its left end at (875, 249) of a 1180-point window with its menu bar (dimmed or not
// by the evening review's sheet).
bool restoredFrame(const RGB& p) { return p.r > 2 * p.b + 40 && p.r > p.g + 30; }

struct Probe {
    int x, y;
    bool (*matches)(const RGB&);
};

// A line of /proc/PID/status in megabytes ("VmRSS", "VmHWM"), or -1.
double statusMegabytes(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return -1;
}

struct Launch {
    double seconds = -1;
    double residentMB = -1;  // two seconds after the frame, when the restore has settled
    double peakMB = -1;
    double anonymousMB = -1;  // of the resident memory, what is the process's own (not shared library pages)
};

Launch launchTo(const Home& home, Probe probe) {
    const std::string config = "XDG_CONFIG_HOME=" + (home.root / "config").string();
    const std::string data = "XDG_DATA_HOME=" + (home.root / "data").string();
    const std::string homeVar = "HOME=" + home.root.string();
    std::vector<std::string> env{config, data, homeVar};
    for (char** e = environ; *e; ++e)
        if (!std::strncmp(*e, "DISPLAY=", 8) || !std::strncmp(*e, "PATH=", 5) || !std::strncmp(*e, "XAUTHORITY=", 11) ||
            !std::strncmp(*e, "DBUS_SESSION_BUS_ADDRESS=", 25))
            env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    const char* argv[] = {TIDEWELL_APP, "--ui-testing", "--window-size", "1180x760", nullptr};

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (const int e = xcb_connection_has_error(c)) throw std::runtime_error("no X display (" + std::to_string(e) + ")");
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;

    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, TIDEWELL_APP, nullptr, nullptr, const_cast<char**>(argv), envp.data()) != 0)
        throw std::runtime_error("could not start the application");
    Launch launch;
    while (Clock::now() - start < std::chrono::seconds(20)) {
        const xcb_window_t w = findMainWindow(c, root);
        if (const auto p = w ? pixel(c, w, probe.x, probe.y) : std::nullopt; p && probe.matches(*p)) {
            launch.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (launch.seconds >= 0) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        launch.residentMB = statusMegabytes(pid, "VmRSS");
        launch.peakMB = statusMegabytes(pid, "VmHWM");
        launch.anonymousMB = statusMegabytes(pid, "RssAnon");
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(c);
    if (launch.seconds < 0) throw std::runtime_error("the main window never painted");
    return launch;
}

void run(benchmark::State& state, int projects, Probe probe) {
    const Home home(std::to_string(projects), projects);
    double resident = 0, peak = 0, anonymous = 0;
    for (auto _ : state) {
        try {
            const Launch launch = launchTo(home, probe);
            state.SetIterationTime(launch.seconds);
            resident = std::max(resident, launch.residentMB);
            peak = std::max(peak, launch.peakMB);
            anonymous = std::max(anonymous, launch.anonymousMB);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    state.counters["rss_MB"] = resident;
    state.counters["peak_rss_MB"] = peak;
    state.counters["anon_MB"] = anonymous;
}

void BM_LaunchToFirstFrame_EmptyHome(benchmark::State& state) { run(state, 0, {590, 36, firstFrame}); }
void BM_LaunchToFirstFrame_Restored5000(benchmark::State& state) { run(state, 5000, {590, 36, firstFrame}); }
void BM_LaunchToRestoredDashboard_Restored5000(benchmark::State& state) { run(state, 5000, {875, 249, restoredFrame}); }

BENCHMARK(BM_LaunchToFirstFrame_EmptyHome)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaunchToFirstFrame_Restored5000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LaunchToRestoredDashboard_Restored5000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
