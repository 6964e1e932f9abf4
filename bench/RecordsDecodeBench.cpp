// Strict decoding of a large dashboard against a bare JSON parse of the same
// text. Prints the ratio at the end; the aim is at most 2x.

#include "core/EngineRecords.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::string makeDashboard(int projects, int artifactsPerProject) {
    tidewell::DashboardDTO d;
    const char* stacks[] = {"node", "flutter", "rust", "android", "react_native"};
    for (int p = 0; p < projects; ++p) {
        tidewell::ProjectDTO project;
        project.id = "p" + std::to_string(p);
        project.name = "project-" + std::to_string(p);
        project.path = "/home/me/Code/group-" + std::to_string(p % 97) + "/project-" + std::to_string(p);
        project.types = {stacks[p % 5], stacks[(p + 1) % 5]};
        for (int a = 0; a < artifactsPerProject; ++a) {
            tidewell::ArtifactDTO artifact;
            artifact.relative_path = "build/out-" + std::to_string(a);
            artifact.absolute_path = project.path + "/" + artifact.relative_path;
            artifact.safetyClass = a % 3 ? "safe" : "caution";
            artifact.size_bytes = 1'000'000ull * static_cast<unsigned>(a + 1) + static_cast<unsigned>(p);
            artifact.exists = true;
            project.reclaimable_bytes += artifact.size_bytes;
            project.artifacts.push_back(artifact);
        }
        project.total_bytes = project.reclaimable_bytes * 2;
        project.safe_bytes = project.reclaimable_bytes / 2;
        project.caution_bytes = project.reclaimable_bytes - project.safe_bytes;
        project.last_activity_unix = 1'796'576'520 - p;
        project.idle_days = static_cast<std::uint64_t>(p % 120);
        project.is_idle = p % 2 == 0;
        d.projects.push_back(std::move(project));
    }
    for (const char* s : stacks) d.by_type.push_back({s, s, projects / 5, 1'000'000'000, 500'000'000});
    d.project_count = projects;
    d.roots = {"/home/me/Code"};
    d.scanned_at_unix = 1'796'576'520;
    return tidewell::encode(d);
}

const std::string& dashboardText() {
    static const std::string text = makeDashboard(10'000, 10);
    return text;
}

void BM_BareParse(benchmark::State& state) {
    const std::string& text = dashboardText();
    for (auto _ : state) {
        auto j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMillisecond);

void BM_StrictDecode(benchmark::State& state) {
    const std::string& text = dashboardText();
    for (auto _ : state) {
        auto d = tidewell::decode<tidewell::DashboardDTO>(text);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_StrictDecode)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time so the ratio can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration) {
                realTimes[run.benchmark_name()] = run.GetAdjustedRealTime();
                cpuTimes[run.benchmark_name()] = run.GetAdjustedCPUTime();
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> realTimes;
    std::map<std::string, double> cpuTimes;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::fprintf(stderr, "dashboard: 10,000 projects x 10 artifacts, %zu bytes of JSON\n", dashboardText().size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto ratio = [](const std::map<std::string, double>& times) {
        auto bare = times.find("BM_BareParse");
        auto strict = times.find("BM_StrictDecode");
        if (bare == times.end() || strict == times.end() || bare->second <= 0) return -1.0;
        return strict->second / bare->second;
    };
    const double real = ratio(reporter.realTimes);
    const double cpu = ratio(reporter.cpuTimes);
    if (real > 0)
        std::printf("strict decode / bare parse: %.2fx wall, %.2fx CPU (target <= 2.00x): %s\n", real, cpu,
                    cpu <= 2.0 ? "ok" : "OVER");
    return 0;
}
