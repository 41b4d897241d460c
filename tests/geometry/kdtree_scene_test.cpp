// The kd-tree over the real scene objects (static spheres, parallelograms, cubes contributing
// their six faces) against the brute-force oracle, for single rays and camera bundles.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>

#include "geometry/kdtraverse.h"
#include "geometry/kdtree.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "tests/geometry/kdtestscene.h"

using namespace kdtest;

namespace {

// A random scene of real objects in [0, 1000]^3. Every sphere and plane has a texture of its
// own; a cube has one per face pair, so a hit names the object (and the face pair).
struct RealScene {
    std::vector<std::unique_ptr<rtObjBase>> owned;
    std::vector<std::unique_ptr<IdTexture>> textures;
    std::vector<rtObjBase*> list;

    IdTexture* newTexture() {
        textures.push_back(std::make_unique<IdTexture>(uint32_t(textures.size()) + 1));
        return textures.back().get();
    }

    RealScene(std::mt19937& rng, int count) {
        std::uniform_real_distribution<float> pos(0.0f, 1000.0f), len(10.0f, 80.0f),
            unitv(-1.0f, 1.0f);
        for (int i = 0; i < count; ++i) {
            const Vec4f p(pos(rng), pos(rng), pos(rng), 0.0f);
            const int kind = int(rng() % 5);
            if (kind < 2) {
                auto s = std::make_unique<rtObjSphere<1>>();
                s->center = p;
                s->radius = len(rng) * 0.5f;
                s->texture = newTexture();
                s->update();
                list.push_back(s.get());
                owned.push_back(std::move(s));
            } else if (kind < 4) {
                auto pl = std::make_unique<rtObjPlane>();
                pl->pos = p;
                if (kind == 2) {  // axis-aligned: a flat box
                    const int a = int(rng() % 3);
                    pl->x = Vec4f(0, 0, 0, 0);
                    pl->y = Vec4f(0, 0, 0, 0);
                    pl->x[(a + 1) % 3] = len(rng);
                    pl->y[(a + 2) % 3] = len(rng);
                } else {
                    // Orthogonal edges: the parallelogram's u, v test projects onto each edge,
                    // which bounds the hits by the corners' box only for a rectangle.
                    const Vec4f e1 = unit(Vec4f(unitv(rng), unitv(rng), unitv(rng), 0));
                    const Vec4f e2 = unit(cross3(e1, Vec4f(unitv(rng), unitv(rng), unitv(rng), 0)));
                    pl->x = Vec4f(e1.x, e1.y, e1.z, 0) * len(rng);
                    pl->y = Vec4f(e2.x, e2.y, e2.z, 0) * len(rng);
                }
                pl->texture = newTexture();
                pl->update();
                list.push_back(pl.get());
                owned.push_back(std::move(pl));
            } else {
                auto c = std::make_unique<rtObjCube>();
                c->pos = p;
                const Vec4f e1 = unit(Vec4f(unitv(rng), unitv(rng), unitv(rng), 0));
                const Vec4f e2 = unit(cross3(e1, Vec4f(0.3f, 0.5f, 0.8f, 0)));
                const Vec4f e3 = cross3(e1, e2);
                const bool aligned = rng() % 2;
                c->x = aligned ? Vec4f(len(rng), 0, 0, 0) : Vec4f(e1.x, e1.y, e1.z, 0) * len(rng);
                c->y = aligned ? Vec4f(0, len(rng), 0, 0) : Vec4f(e2.x, e2.y, e2.z, 0) * len(rng);
                c->z = aligned ? Vec4f(0, 0, len(rng), 0) : Vec4f(e3.x, e3.y, e3.z, 0) * len(rng);
                c->texturexy = newTexture();
                c->textureyz = newTexture();
                c->texturezx = newTexture();
                list.push_back(c.get());
                owned.push_back(std::move(c));
            }
        }
    }

    // What the tree holds after a build: the objects, cubes replaced by their current faces.
    std::vector<const rtObjBase*> primitives() const {
        std::vector<const rtObjBase*> prims;
        for (rtObjBase* o : list) {
            if (auto* c = dynamic_cast<rtObjCube*>(o)) {
                for (rtObjPlane* f : c->faces) prims.push_back(f);
            } else {
                prims.push_back(o);
            }
        }
        return prims;
    }
};

// Oracle over the primitives: nearest distance and the ids of the textures hit there.
Nearest bruteForce(const std::vector<const rtObjBase*>& prims, const SingleRay& ray) {
    Nearest n;
    for (const rtObjBase* o : prims) {
        SingleRay r = ray;
        uint32_t pix = 0;
        r.out = &pix;
        float t = kNoDistance;
        o->intersect1(r, t);
        if (t >= kNoDistance) continue;
        o->shade1(r, t);
        if (t < n.t) {
            n.t = t;
            n.ids.clear();
        }
        if (t == n.t) n.ids.push_back(pix);
    }
    n.hit = n.t < kNoDistance;
    return n;
}

bool near(float a, float b) { return std::fabs(a - b) <= 1e-4f * std::fmax(1.0f, std::fabs(b)); }

}  // namespace

TEST(KDTreeScene, SingleRaysAndBundlesMatchBruteForceOnRealObjects) {
    int singles = 0, singleExact = 0, bundleRays = 0, bundleAgree = 0, hits = 0;
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(300 + seed);
        RealScene scene(rng, 60 * int(seed));
        KDTree tree;
        tree.addInterval(scene.list, 0);
        const std::vector<const rtObjBase*> prims = scene.primitives();
        const BoundingBox& box = tree.sceneBox();
        std::uniform_real_distribution<float> u(-0.2f, 1.2f), pitch(0.0005f, 0.005f);
        std::normal_distribution<float> nd(0.0f, 1.0f);
        for (int k = 0; k < 150; ++k) {
            Vec4f o;
            for (int c = 0; c < 3; ++c) o[c] = box.min[c] + u(rng) * (box.max[c] - box.min[c]);
            o.w = 0.0f;
            for (rtObjBase* obj : scene.list) obj->prepareForOrigin(o);
            const Vec4f fwd = unit(Vec4f(nd(rng), nd(rng), nd(rng), 0.0f));
            const Vec4f helper = std::fabs(fwd.z) < 0.9f ? Vec4f(0, 0, 1, 0) : Vec4f(1, 0, 0, 0);
            Vec4f right = unit(cross3(fwd, helper)), up = unit(cross3(right, fwd));
            right.w = up.w = 0.0f;
            Vec4f f = fwd;
            f.w = 0.0f;
            alignas(16) RayBundle16 b;
            uint32_t pix[16] = {};
            makeBundle16(tree, b, o, f, right, up, pitch(rng), pix);
            const int mask = traceBundle16(b);
            for (int i = 0; i < 16; ++i) {
                uint32_t spix = 0;
                SingleRay r = makeRay(tree, o, bundleDir(b, i), &spix, false);
                if (!(r.tMin < r.tMax)) continue;
                const SingleRay before = r;
                const bool sHit = traceRay(r);
                const Nearest n = bruteForce(prims, before);
                ++singles;
                if (sHit == n.hit && (!sHit || (r.tMax == n.t && n.has(spix)))) {
                    ++singleExact;
                } else {
                    // Explained by the absolute leaf widening: a real hit at most 1.0001
                    // behind the nearest one, never a miss.
                    SingleRay wide = before;
                    wide.tMin -= kRayLeafWiden;
                    wide.tMax += kRayLeafWiden;
                    EXPECT_TRUE(sHit);
                    EXPECT_GE(r.tMax, bruteForce(prims, wide).t);
                    if (n.hit) {
                        EXPECT_LE(r.tMax, n.t + kRayLeafWiden);
                    }
                }
                const bool bHit = (mask >> i) & 1;
                hits += bHit;
                ++bundleRays;
                if (bHit == n.hit && (!bHit || (near(b.tHit[i >> 2][i & 3], n.t) && n.has(pix[i]))))
                    ++bundleAgree;
            }
        }
    }
    std::printf(
        "real objects: %d rays, %d hit by bundles; single rays as brute force %d, "
        "16-ray bundles as brute force %d\n",
        singles, hits, singleExact, bundleAgree);
    EXPECT_GT(hits, bundleRays / 10);
    // Single rays differ only through the absolute leaf widening; bundles also through the
    // objects' own rules (strict parallelogram edges, their own rounding of t, faces meeting at
    // a cube's edge at the same distance).
    EXPECT_GE(singleExact, singles - singles / 100);
    EXPECT_GE(bundleAgree, bundleRays - bundleRays / 200);
}
