// The bodies bent paths meet with light travel time, in trees by time: every ray finds the hit it
// finds in one tree of all the pieces, whatever its origin's time, direction and limit.
#include "accel/timeslices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "accel/kdtree.h"
#include "accel/movingbodies.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjsphere.h"

namespace {

Vec4f unitVector(std::mt19937& rng) {
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    Vec4f d(unit(rng), unit(rng), unit(rng), 0.0f);
    return d * (1.0f / std::sqrt(dot3(d, d)));
}

// Spheres and cubes at 0.1c to 0.95c, placed for bent paths from the eye with light travel
// time, in pieces: one tree of them all, and the trees by time.
struct Belt {
    std::vector<std::unique_ptr<rtObjBase>> objects;
    std::vector<std::unique_ptr<MovingPrimitive>> bodies;
    std::deque<MovingPiece> pieces;
    KDTree all;
    TimeSlices slices;
    Vec4f eye{0.0f, 0.0f, 0.0f, 5.0f};
    float reach = 300.0f;

    explicit Belt(std::mt19937& rng) {
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f), zeroOne(0.0f, 1.0f);
        std::vector<rtObjBase*> list;
        std::vector<MovingPiece*> timed;
        for (int i = 0; i < 120; ++i) {
            const Vec4f place(40 * unit(rng), 40 * unit(rng), 40 * unit(rng), 0.0f);
            const Vec4f v = unitVector(rng) * (0.1f + 0.85f * zeroOne(rng));
            if (i % 3 == 2) {
                auto cube = std::make_unique<rtObjCube>();
                cube->pos = place;
                cube->setVelocity(v);
                std::vector<rtObjBase*> faces;  // builds its faces
                cube->collectPrimitives(faces);
                objects.push_back(std::move(cube));
            } else {
                auto sphere = std::make_unique<rtObjSphere<1>>();
                sphere->center = place;
                sphere->radius = 0.4f + zeroOne(rng);
                sphere->setVelocity(v);
                sphere->update();
                objects.push_back(std::move(sphere));
            }
            rtObjBase* o = objects.back().get();
            bodies.push_back(std::make_unique<MovingPrimitive>(o, o->motion()));
            MovingPrimitive& body = *bodies.back();
            if (!body.prepare(eye, true, reach, 64)) continue;
            for (int p = 0; p < body.pieceCount(); ++p) {
                pieces.emplace_back();
                pieces.back().place(&body, p);
                list.push_back(&pieces.back());
                timed.push_back(&pieces.back());
            }
        }
        all.buildFromPrimitives(list);
        slices.build(timed, TimeSlices::kSlices);
    }
};

}  // namespace

TEST(TimeSlices, RaysFindTheHitsOfOneTreeOfAllPieces) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f), zeroOne(0.0f, 1.0f);
    Belt belt(rng);
    ASSERT_FALSE(belt.slices.empty());
    ASSERT_GT(belt.pieces.size(), 2000u);
    uint32_t pixel = 0;
    int hits = 0, hits4 = 0;
    for (int r = 0; r < 3000; ++r) {
        // The origin of a piece of a path, `travelled` from the eye: its light left that much
        // earlier. Aimed at a body where it was about then, or anywhere.
        const float travelled = (belt.reach - 60.0f) * zeroOne(rng);
        Vec4f o(50 * unit(rng), 50 * unit(rng), 50 * unit(rng), belt.eye.w - travelled);
        const MovingPrimitive& aim = *belt.bodies[size_t(r) % belt.bodies.size()];
        // Where the body was when light that reaches the origin left it, a few steps.
        Vec4f target = o;
        const auto aimFrom = [&](const Vec4f& from) {
            for (int i = 0; i < 5; ++i) {
                Vec4f to = target - from;
                to.w = 0.0f;
                const BoundingBox then =
                    aim.restBoxAt(double(from.w) - std::sqrt(double(dot3(to, to))));
                target = (then.min + then.max) * 0.5f;
            }
        };
        aimFrom(o);
        if (r % 2 == 1) {  // from just before the body: the hit right after the ray's start
            Vec4f back = target - o;
            back.w = 0.0f;
            back = back * ((2.0f + 4.0f * zeroOne(rng)) / std::sqrt(dot3(back, back)));
            o = target - back;
            o.w = belt.eye.w - travelled;
            aimFrom(o);
        }
        Vec4f d = r % 4 == 0 ? unitVector(rng) : target - o;
        d.w = 0.0f;
        d = d * (1.0f / std::sqrt(dot3(d, d)));
        d.w = 1.0f;
        const float limits[3] = {kNoDistance, 20.0f + 80.0f * zeroOne(rng), 5.0f * zeroOne(rng)};
        const float limit = limits[r % 3];

        SingleRay ray{};
        ray.origin = o;
        ray.dir = d;
        ray.invDir = Vec4f(1.0f / d.x, 1.0f / d.y, 1.0f / d.z, 1.0f);
        ray.variant = 1;
        ray.out = &pixel;
        SingleRay one = ray, sliced = ray;
        const bool hit = traceMoving1(one, belt.all, limit);
        const bool sh = belt.slices.trace1(sliced, limit);
        // Paths are followed no further than reach from the eye: no piece holds a body at
        // earlier times, though one that holds it later may let such a hit through.
        if (hit && travelled + one.tMax > belt.reach) continue;
        ASSERT_EQ(sh, hit) << "ray " << r;
        if (hit) {
            ++hits;
            EXPECT_NEAR(sliced.tMax, one.tMax, 1e-4f * (1.0f + one.tMax)) << "ray " << r;
        }

        // Four lanes from origins about this one, at times apart, one of them not looking.
        alignas(16) RayBundle4 b{};
        for (int l = 0; l < 4; ++l) {
            Vec4f lo = o + Vec4f(unit(rng), unit(rng), unit(rng), 0.0f) * 0.3f;
            lo.w = o.w - 0.5f * float(l);
            Vec4f ld = d + unitVector(rng) * 0.01f;
            ld.w = 0.0f;
            ld = ld * (1.0f / std::sqrt(dot3(ld, ld)));
            b.origin[l] = lo;
            for (int c = 0; c < 4; ++c) {
                b.originSoA[c][l] = lo[c];
                b.dir[c][l] = c < 3 ? ld[c] : 1.0f;
                b.invDir[c][l] = c < 3 ? 1.0f / ld[c] : 1.0f;
            }
        }
        b.tHit = Vec4f(kNoDistance);
        b.variant = 1;
        uint32_t pix[4] = {};
        b.out[0] = pix;
        b.out[1] = pix + 2;
        const Vec4f limit4(limit, limit * 0.7f, r % 5 == 0 ? -1.0f : limit, kNoDistance);
        alignas(16) RayBundle4 oneB = b, slicedB = b;
        int mask = traceMoving4(oneB, belt.all, limit4);
        int slicedMask = belt.slices.trace4(slicedB, limit4);
        for (int l = 0; l < 4; ++l)
            if (((mask >> l) & 1) && travelled + 0.5f * float(l) + oneB.tHit[l] > belt.reach) {
                mask &= ~(1 << l);
                slicedMask &= ~(1 << l);
            }
        ASSERT_EQ(slicedMask, mask) << "bundle " << r;
        for (int l = 0; l < 4; ++l)
            if ((mask >> l) & 1) {
                ++hits4;
                EXPECT_NEAR(slicedB.tHit[l], oneB.tHit[l], 1e-4f * (1.0f + oneB.tHit[l]))
                    << "bundle " << r << ", lane " << l;
            }
    }
    EXPECT_GT(hits, 500);
    EXPECT_GT(hits4, 2000);
}
