// Light-path table regeneration: what the frame loop pays when the observer's distance from the
// hole changes by more than the regeneration tolerance (every frame while flying past it). The
// default scene's hole (r_s = 0.6) seen from its start (about 44.7 away) and from nearer points.
#include <benchmark/benchmark.h>

#include "geometry/lightpathgenerator.h"

static void BM_RegenerateTable(benchmark::State& state) {
    const float rObs = float(state.range(0)) / 10.0f;
    const float rs = 0.6f;
    LightPathTree tree;
    LightPathGenerator generator;
    size_t nodes = 0;
    for (auto _ : state) {
        const LightPathStatistics stats = generator.generate(tree, rObs, rs);
        nodes = stats.nodes;
        benchmark::DoNotOptimize(tree.nodeCount());
    }
    state.counters["nodes"] = double(nodes);
}
BENCHMARK(BM_RegenerateTable)->Arg(447)->Arg(150)->Arg(40)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
