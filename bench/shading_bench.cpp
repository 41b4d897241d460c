// Spectrum-to-pixel shading, the last step of every hit: one ray (toPixel) and sixteen rays in
// four groups (toPixel16), for a colour of a few spectral lines prepared as a frame prepares it,
// run under the render workers' rounding toward minus infinity. Cases:
//   Plain       three-curve eye, every lane at its own Doppler factor (line-by-line sums)
//   Doppler1    the same eye, every lane at factor 1 (no Doppler effect, or speed 0)
//   DopplerNot1 the same eye, all lanes at one factor other than 1 (a frame at one speed
//               without aberration looks like this only in a test, but it is the shared path)
//   Searchlight beaming k = 4 with the default eye, per-lane factors (the table path)
#include <benchmark/benchmark.h>

#include <random>

#include "scene/coldiscrete.h"
#include "scene/eye.h"
#include "scene/lighttablecache.h"

namespace {

enum Case { Plain, Doppler1, DopplerNot1, Searchlight };

struct Setup {
    ColDiscrete color;
    Eye eye;
    alignas(16) Vec4f doppler[64][4];
    alignas(16) float single[256];

    explicit Setup(Case which, int lines) : eye(defaultEye()) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> wl(350.0f, 1400.0f), in(20.0f, 120.0f);
        for (int i = 0; i < lines; ++i) color.addLine(wl(rng), in(rng));
        if (which == Searchlight) eye.beamingExponent = 4;
        eye.updateLightKey();
        std::uniform_real_distribution<float> spread(0.6f, 1.7f);
        for (auto& row : doppler)
            for (auto& group : row) {
                float d[4];
                for (float& v : d)
                    v = which == Doppler1 ? 1.0f : which == DopplerNot1 ? 1.25f : spread(rng);
                group = Vec4f(d[0], d[1], d[2], d[3]);
            }
        for (float& d : single)
            d = which == Doppler1 ? 1.0f : which == DopplerNot1 ? 1.25f : spread(rng);
        // What a frame prepares between frames.
        std::vector<ColDiscrete*> colors{&color};
        LightTableCache::prepareAll(colors, eye);
        color.prepareShading(eye);
    }
};

struct WorkerRounding {
    uint32_t saved = fpControl();
    WorkerRounding() { setFpControl(roundingDown(saved)); }
    ~WorkerRounding() { setFpControl(saved); }
};

void BM_Shade16(benchmark::State& state) {
    Setup s(Case(state.range(0)), int(state.range(1)));
    const Vec4f shade[4] = {Vec4f(0.9f), Vec4f(0.7f), Vec4f(1.0f), Vec4f(0.5f)};
    const LaneMask4 mask[4] = {LaneMask4(true), LaneMask4(true), LaneMask4(true), LaneMask4(true)};
    alignas(16) uint32_t out[4][4];
    uint32_t* const rows[4] = {out[0], out[1], out[2], out[3]};
    WorkerRounding rounding;
    size_t k = 0;
    for (auto _ : state) {
        s.color.toPixel16(s.eye, s.doppler[k++ & 63], shade, mask, rows);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 16);
}

void BM_Shade1(benchmark::State& state) {
    Setup s(Case(state.range(0)), int(state.range(1)));
    const float shade = 0.8f;
    uint32_t out = 0;
    WorkerRounding rounding;
    size_t k = 0;
    for (auto _ : state) {
        s.color.toPixel(s.eye, &out, &s.single[k++ & 255], &shade);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"case", "lines"});
    for (int c : {Plain, Doppler1, DopplerNot1, Searchlight})
        for (int lines : {4, 16}) b->Args({c, lines});
}

}  // namespace

BENCHMARK(BM_Shade16)->Apply(cases);
BENCHMARK(BM_Shade1)->Apply(cases);

BENCHMARK_MAIN();
