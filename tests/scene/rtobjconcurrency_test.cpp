// One object serves all render threads: intersection and shading from several threads at once,
// each with its own ray records and pixels, give exactly the single-threaded results.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

constexpr int kBlocks = 64;  // blocks of 16 rays per object

struct Results {
    std::vector<float> t1, u1, v1, off1;
    std::vector<uint32_t> pix1, pix4, pix16;
    std::vector<int> mask4, mask16;
    std::vector<float> tHit4, tHit16, u16;
};

// Everything an object writes for the rays of the scene: single rays (distance, coordinates,
// offset, shaded pixel), 4-ray bundles and 16-ray bundles (masks, distances, pixels).
Results traceAll(const rtObjBase& obj, const Vec4f& origin, const std::vector<Vec4f>& dirs) {
    Results res;
    for (size_t i = 0; i < dirs.size(); ++i) {
        SingleRay r = makeRay(origin, dirs[i]);
        uint32_t pixel = 0;
        r.out = &pixel;
        float t = kNoDistance;
        obj.intersect1(r, t);
        if (t != kNoDistance) obj.shade1(r, t);
        res.t1.push_back(t);
        res.u1.push_back(r.u);
        res.v1.push_back(r.v);
        res.off1.push_back(r.hitOffset.x + r.hitOffset.y + r.hitOffset.z);
        res.pix1.push_back(pixel);
    }
    for (size_t b = 0; b + 16 <= dirs.size(); b += 16) {
        for (int g = 0; g < 4; ++g) {
            const Vec4f os[4] = {origin, origin, origin, origin};
            alignas(16) RayBundle4 b4;
            makeBundle4(b4, os, &dirs[b + 4 * g]);
            uint32_t rows[2][2] = {};
            b4.out[0] = rows[0];
            b4.out[1] = rows[1];
            const LaneMask4 m = obj.intersect4(b4);
            if (any(m)) obj.shade4(b4, m);
            res.mask4.push_back(movemask(m));
            for (int l = 0; l < 4; ++l) {
                res.tHit4.push_back(b4.tHit[l]);
                res.pix4.push_back(rows[l / 2][l % 2]);
            }
        }
        alignas(16) RayBundle16 b16;
        makeBundle16(b16, origin, &dirs[b]);
        uint32_t rows[4][4] = {};
        for (int g = 0; g < 4; ++g) b16.out[g] = rows[g];
        LaneMask4 hits[4];
        if (obj.intersect16(b16, hits)) obj.shade16(b16, hits);
        res.mask16.push_back(combineMasks(hits));
        for (int g = 0; g < 4; ++g)
            for (int l = 0; l < 4; ++l) {
                res.tHit16.push_back(b16.tHit[g][l]);
                res.u16.push_back(b16.u[g][l]);
                res.pix16.push_back(rows[g][l]);
            }
    }
    return res;
}

bool sameResults(const Results& a, const Results& b) {
    return a.t1 == b.t1 && a.u1 == b.u1 && a.v1 == b.v1 && a.off1 == b.off1 && a.pix1 == b.pix1 &&
           a.pix4 == b.pix4 && a.pix16 == b.pix16 && a.mask4 == b.mask4 && a.mask16 == b.mask16 &&
           a.tHit4 == b.tHit4 && a.tHit16 == b.tHit16 && a.u16 == b.u16;
}

}  // namespace

TEST(RtObjConcurrency, ObjectsGiveTheSameResultsFromManyThreads) {
    RecordingTexture tex;
    tex.record = false;  // only the rays' own pixels are written

    rtObjPlane plane;
    plane.pos = Vec4f(-2, -2, 6, 0);
    plane.x = Vec4f(4, 0, 0.5f, 0);
    plane.y = Vec4f(0, 4, 0, 0);
    plane.texture = &tex;
    plane.update();
    rtObjSphere<1> sphere;
    sphere.center = Vec4f(0.5f, 0, 5, 0);
    sphere.radius = 1.2f;
    sphere.texture = &tex;
    sphere.update();
    rtObjSphere<0> moving;
    moving.center = Vec4f(-2, 0.5f, 5, 0);
    moving.mov = Vec4f(0.4f, 0, 0, 0);
    moving.tmin = 0;
    moving.tmax = 20;
    moving.radius = 1;
    moving.texture = &tex;
    moving.update();
    const rtObjBase* objects[3] = {&plane, &sphere, &moving};

    const Vec4f origin(0, 0, 0, 0);
    plane.prepareForOrigin(origin);
    sphere.prepareForOrigin(origin);
    moving.prepareForOrigin(origin);
    Rng rng(17);
    std::vector<Vec4f> dirs;
    for (int i = 0; i < 16 * kBlocks; ++i)
        dirs.push_back(unitDir(float(rng.uni(-0.5, 0.5)), float(rng.uni(-0.5, 0.5)), 1.0f));

    std::vector<Results> expected;
    int hitCount = 0;
    for (const rtObjBase* obj : objects) {
        expected.push_back(traceAll(*obj, origin, dirs));
        for (float t : expected.back().t1) hitCount += t != kNoDistance;
    }
    ASSERT_GT(hitCount, 500);  // the scene is actually hit

    const int threads = 4, rounds = 10;
    std::vector<int> mismatches(threads, 0);
    std::vector<std::thread> pool;
    for (int k = 0; k < threads; ++k)
        pool.emplace_back([&, k] {
            for (int round = 0; round < rounds; ++round)
                for (int o = 0; o < 3; ++o)
                    if (!sameResults(traceAll(*objects[o], origin, dirs), expected[o]))
                        ++mismatches[k];
        });
    for (std::thread& t : pool) t.join();
    for (int k = 0; k < threads; ++k) EXPECT_EQ(mismatches[k], 0) << "thread " << k;
}
