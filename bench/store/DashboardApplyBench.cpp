// Decoding and deriving a dashboard the size of a large developer disk:
// thousands of projects, many of them nested in monorepos.

#include <benchmark/benchmark.h>

#include "core/EngineRecords.h"
#include "core/StoreRules.h"

using namespace tidewell;

namespace {
DashboardDTO makeDashboard(int projects) {
    DashboardDTO d;
    for (int i = 0; i < projects; ++i) {
        ProjectDTO p;
        p.id = "id" + std::to_string(i);
        // Every fifth project is a monorepo root with the next four inside it.
        const int root = i - i % 5;
        p.path = "/home/dev/code/repo" + std::to_string(root) + (i % 5 ? "/packages/p" + std::to_string(i) : "");
        p.name = "p" + std::to_string(i);
        p.types = {i % 3 ? "node" : "flutter", "android"};
        p.total_bytes = 1'000'000ULL + static_cast<unsigned>(i) * 7919ULL;
        p.reclaimable_bytes = i % 7 == 0 ? 0 : p.total_bytes / 2;  // some have nothing to reclaim
        p.artifacts.resize(3, ArtifactDTO{"node_modules", p.path + "/node_modules", "safe", 1000, true});
        d.projects.push_back(std::move(p));
    }
    d.project_count = projects;
    d.by_type = {{"node", "Node", 0, 0, 0}, {"flutter", "Flutter", 0, 0, 0}, {"android", "Android", 0, 0, 0}};
    return d;
}

void BM_DecodeDashboard(benchmark::State& state) {
    const auto json = encode(makeDashboard(static_cast<int>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(decode<DashboardDTO>(json));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * json.size()));
}
BENCHMARK(BM_DecodeDashboard)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);

void BM_DisplayDashboard(benchmark::State& state) {
    const auto d = makeDashboard(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(displayDashboard(d));
}
BENCHMARK(BM_DisplayDashboard)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
}  // namespace
