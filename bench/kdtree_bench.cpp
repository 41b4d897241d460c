// Kd-tree benchmarks: SAH build time for random spheres, and traversal throughput of single
// rays, 2 x 2 and 4 x 4 camera packets over a grid of spheres standing on a floor.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "accel/kdtraverse.h"
#include "accel/kdtree.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/texture.h"
#include "tests/accel/kdtestscene.h"

using namespace kdtest;

namespace {

// Writes a fixed id into the pixel: the benchmark measures traversal, not colour conversion.
class IdTexture : public Texture {
public:
    explicit IdTexture(uint32_t id) : id(id) {}
    void shade1(SingleRay& ray, float) const override { *ray.out = id; }
    void shade4(RayBundle4& b, LaneMask4 mask, const Vec4f&) const override {
        for (int l = 0; l < 4; ++l)
            if (mask.lane(l)) b.out[l >> 1][l & 1] = id;
    }
    void shade16(RayBundle16& b, const LaneMask4 mask[4], const Vec4f[4]) const override {
        for (int g = 0; g < 4; ++g)
            for (int l = 0; l < 4; ++l)
                if (mask[g].lane(l)) b.out[g][l] = id;
    }
    void resolveColors(ColorCol&) override {}
    void getProperties(Reader::PropertyList&) override {}
    Texture* clone() const override { return new IdTexture(id); }
    void copyFrom(const Texture& o) override { id = static_cast<const IdTexture&>(o).id; }

    uint32_t id;
};

// Static spheres and planes owned by the benchmark, all shaded by one texture.
struct RealScene {
    IdTexture texture{1};
    std::vector<std::unique_ptr<rtObjBase>> owned;
    std::vector<rtObjBase*> list;

    void sphere(const Vec4f& c, float r) {
        auto s = std::make_unique<rtObjSphere<1>>();
        s->center = c;
        s->radius = r;
        s->texture = &texture;
        s->update();
        list.push_back(s.get());
        owned.push_back(std::move(s));
    }
    void floor(const Vec4f& corner, float size) {
        auto p = std::make_unique<rtObjPlane>();
        p->pos = corner;
        p->x = Vec4f(size, 0, 0, 0);
        p->y = Vec4f(0, size, 0, 0);
        p->texture = &texture;
        p->update();
        list.push_back(p.get());
        owned.push_back(std::move(p));
    }
};

void randomSpheres(RealScene& s, int n, unsigned seed) {
    std::mt19937 rng(seed);
    const float extent = 10.0f * std::cbrt(float(n));  // constant density
    std::uniform_real_distribution<float> pos(0.0f, extent), radius(0.3f, 1.0f);
    for (int i = 0; i < n; ++i) s.sphere(Vec4f(pos(rng), pos(rng), pos(rng), 0.0f), radius(rng));
}

void BM_BuildRandomSpheres(benchmark::State& state) {
    RealScene s;
    randomSpheres(s, int(state.range(0)), 1);
    KDTree tree;
    for (auto _ : state) {
        tree.reset();
        tree.addInterval(s.list, 0);
        benchmark::DoNotOptimize(tree.nodeBase());
    }
    state.counters["nodes"] = double(tree.nodeArray().size());
    state.counters["leafRefs"] = double(tree.leaves().size());
}
BENCHMARK(BM_BuildRandomSpheres)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A 40 x 40 grid of spheres on a floor, seen from above one corner: a camera view of 512 x 512
// pixels whose rays are prepared once; each iteration traces a copy of every prepared record.
struct GridView {
    static constexpr int kSize = 512;
    RealScene scene;
    KDTree tree;
    Vec4f eye{-20.0f, -20.0f, 25.0f, 0.0f};
    Vec4f fwd, right, up;
    std::vector<uint32_t> image = std::vector<uint32_t>(kSize * kSize);

    GridView() {
        scene.floor(Vec4f(-3.0f, -3.0f, 0.0f, 0.0f), 123.0f);
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 40; ++j) scene.sphere(Vec4f(i * 3.0f, j * 3.0f, 1.0f, 0.0f), 1.0f);
        tree.addInterval(scene.list, 0);
        for (rtObjBase* o : scene.list) o->prepareForOrigin(eye);
        fwd = unit(Vec4f(60.0f, 60.0f, -25.0f, 0.0f));
        right = unit(cross3(fwd, Vec4f(0, 0, 1, 0)));
        up = unit(cross3(right, fwd));
        fwd.w = right.w = up.w = 0.0f;
    }
    Vec4f pixelDir(int x, int y) const {
        return fwd + right * ((x + 0.5f) / kSize - 0.5f) + up * ((y + 0.5f) / kSize - 0.5f);
    }
};

GridView& view() {
    static GridView v;
    return v;
}

void report(benchmark::State& state, size_t rays, int hit) {
    state.counters["rays"] =
        benchmark::Counter(double(rays) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["hitFraction"] = double(hit) / double(rays);
}

void BM_TraceSingleRays(benchmark::State& state) {
    GridView& v = view();
    std::vector<SingleRay> rays;
    for (int y = 0; y < GridView::kSize; ++y)
        for (int x = 0; x < GridView::kSize; ++x)
            rays.push_back(
                makeRay(v.tree, v.eye, v.pixelDir(x, y), &v.image[y * GridView::kSize + x]));
    int hit = 0;
    for (auto _ : state) {
        hit = 0;
        for (const SingleRay& prepared : rays) {
            SingleRay r = prepared;
            if (r.tMin < r.tMax) hit += traceRay(r);
        }
    }
    report(state, rays.size(), hit);
}
BENCHMARK(BM_TraceSingleRays)->Unit(benchmark::kMillisecond);

void BM_TraceBundles2x2(benchmark::State& state) {
    GridView& v = view();
    std::vector<RayBundle4> bundles;
    for (int y = 0; y < GridView::kSize; y += 2)
        for (int x = 0; x < GridView::kSize; x += 2) {
            const Vec4f o[4] = {v.eye, v.eye, v.eye, v.eye};
            const Vec4f d[4] = {v.pixelDir(x, y), v.pixelDir(x + 1, y), v.pixelDir(x, y + 1),
                                v.pixelDir(x + 1, y + 1)};
            RayBundle4 b;
            makeBundle<RayBundle4, 4>(v.tree, b, o, d, &v.image[y * GridView::kSize + x]);
            b.out[1] = &v.image[(y + 1) * GridView::kSize + x];
            bundles.push_back(b);
        }
    int hit = 0;
    for (auto _ : state) {
        hit = 0;
        for (const RayBundle4& prepared : bundles) {
            alignas(16) RayBundle4 b = prepared;
            if (any(b.live)) hit += __builtin_popcount(traceBundle4(b));
        }
    }
    report(state, bundles.size() * 4, hit);
}
BENCHMARK(BM_TraceBundles2x2)->Unit(benchmark::kMillisecond);

void BM_TraceBundles4x4(benchmark::State& state) {
    GridView& v = view();
    std::vector<RayBundle16> bundles;
    uint32_t scratch[16];
    for (int y = 0; y < GridView::kSize; y += 4)
        for (int x = 0; x < GridView::kSize; x += 4) {
            RayBundle16 b;
            const Vec4f f = v.pixelDir(x, y);
            Vec4f o[16], d[16];
            for (int i = 0; i < 16; ++i) {
                o[i] = v.eye;
                d[i] = f + v.right * (float(i & 3) / GridView::kSize) +
                       v.up * (float(i >> 2) / GridView::kSize);
            }
            makeBundle<RayBundle16, 16>(v.tree, b, o, d, scratch);
            for (int g = 0; g < 4; ++g) b.out[g] = &v.image[(y + g) * GridView::kSize + x];
            bundles.push_back(b);
        }
    int hit = 0;
    for (auto _ : state) {
        hit = 0;
        for (const RayBundle16& prepared : bundles) {
            alignas(16) RayBundle16 b = prepared;
            if (any(b.live[0] | b.live[1] | b.live[2] | b.live[3]))
                hit += __builtin_popcount(traceBundle16(b));
        }
    }
    report(state, bundles.size() * 16, hit);
}
BENCHMARK(BM_TraceBundles4x4)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
