// Moving bodies against bodies at rest: the scenes of `make_scene 10000 0 1000` (1,000 bodies
// flying at 0.5c to 0.95c among 10,000 spheres at rest) and `make_scene 10000 0 1000 still` (the
// same places, nothing moving), named by TAVOLIN_MOVING_SCENE and TAVOLIN_STILL_SCENE (see
// bench/moving_ratio.sh). Frames of 1280x720 in 2 x 2 packets on range(2) threads, in the scene
// frame's snapshot (range(0) = 0) or with light travel time (1); range(1) = 1 flies: the
// observer's time moves on by 1/25 s every frame, so the bodies are placed anew for each one,
// as in the window; 0 is a still picture. Processor time of all threads is what is compared.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdlib>

#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/threadbase.h"
#include "engine/timert.h"

namespace {

void frames(benchmark::State& state, const char* variable) {
    const char* file = std::getenv(variable);
    if (!file) {
        state.SkipWithError("set TAVOLIN_MOVING_SCENE and TAVOLIN_STILL_SCENE");
        return;
    }
    DocRT doc;
    if (!doc.loadFile(QString::fromLocal8Bit(file))) {
        state.SkipWithError("the scene does not load");
        return;
    }
    doc.applyPendingChanges();
    RenderSettings& s = *doc.getSettings();
    s.lightTravelTime = state.range(0) != 0;
    s.maxBundleSize = 2;
    const bool flying = state.range(1) != 0;
    TimeRT engine;
    PixelBuffer buffer;
    buffer.setSize(1280, 720, 1);
    ThreadBase pool(int(state.range(2)));
    pool.addTasks(&engine);
    engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &buffer);
    pool.startRendering(true);  // warm-up
    for (auto _ : state) {
        if (flying) s.start.w += 0.04f;
        engine.raytracePic(&s, doc.getSceneData(), doc.getTree(), &buffer);
        pool.startRendering(true);
    }
    pool.removeTasks(&engine, false);
}

void BM_Still(benchmark::State& state) { frames(state, "TAVOLIN_STILL_SCENE"); }
void BM_Moving(benchmark::State& state) { frames(state, "TAVOLIN_MOVING_SCENE"); }

// Still, moving, still again for each mode, so that drift shows.
void modes(benchmark::internal::Benchmark* b) {
    for (int travel : {0, 1})
        for (int flying : {0, 1}) b->Args({travel, flying, 2});
}

}  // namespace

BENCHMARK(BM_Still)->Apply(modes)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Moving)->Apply(modes)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Still)->Apply(modes)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TraceOutput::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
