// Light-path table regeneration: what the frame loop pays when the observer's distance from the
// hole changes by more than the regeneration tolerance (every frame while flying past it). The
// default scene's hole (r_s = 0.6) seen from its start (about 44.7 away) and from nearer points,
// at the tolerances views ask for: 0.05 mrad (the finest: big pictures, many samples, looking
// backwards at speed), 0.1, 0.283 (1280 x 720 at rest) and 0.4 (the coarsest: smaller views).
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "accel/blackholeframe.h"
#include "accel/lightpathgenerator.h"

static void BM_RegenerateTable(benchmark::State& state) {
    const float rObs = float(state.range(0)) / 10.0f;
    const float rs = 0.6f;
    LightPathTree tree;
    tree.parameters.toleranceMrad = float(state.range(1)) / 1000.0f;
    LightPathGenerator generator;
    size_t nodes = 0;
    for (auto _ : state) {
        const LightPathStatistics stats = generator.generate(tree, rObs, rs);
        nodes = stats.nodes;
        benchmark::DoNotOptimize(tree.nodeCount());
    }
    state.counters["nodes"] = double(nodes);
}
BENCHMARK(BM_RegenerateTable)
    ->ArgsProduct({{447, 150, 40}, {50, 100, 283, 400}})
    ->Unit(benchmark::kMillisecond);

// The live loop flying towards the hole, 5 cm a frame (more than the regeneration tolerance,
// so every frame wants a new table), each frame taking range(0) ms: what the frame preparation
// costs the GUI thread when the old table stays in use while the new one grows on another
// thread, and by how many frames the table in use lags behind the observer ("lag").
static void BM_PrepareWhileFlying(benchmark::State& state) {
    BlackHoleFrame hole;
    const Vec4f centre(0, 9, 0, 0);
    float z = -44.7f;
    hole.prepare(Vec4f(0, 9, z, 0), centre, 0.6f);
    double frames = 0, lag = 0;
    for (auto _ : state) {
        z += 0.05f;
        hole.prepare(Vec4f(0, 9, z, 0), centre, 0.6f, BlackHoleFrame::TableUpdate::KeepOld);
        lag += double(hole.paths.generatedRObs() - hole.rObs) / 0.05;
        ++frames;
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(0)));
        state.ResumeTiming();
    }
    state.counters["lag"] = lag / frames;
}
BENCHMARK(BM_PrepareWhileFlying)->Arg(30)->Arg(100)->Iterations(60)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
