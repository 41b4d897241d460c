// Tracing bent rays through hand-made light-path tables (generated ones: the bent pictures), and
// where paths may stop.
#include "accel/lightpathtrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "accel/kdtraverse.h"
#include "kdtestscene.h"
#include "scene/rendersettings.h"

using namespace kdtest;

namespace {

struct BentScene {
    Scene scene;
    KDTree tree;
    Vec4f observer{0, 0, -20, 0};
    void build(const Vec4f& hole) {
        tree.reset();
        tree.addInterval(scene.list, 0);
        BlackHoleFrame& h = tree.blackHole();
        Vec4f x = observer - hole;
        x.w = 0;
        h.rObs = std::sqrt(dot3(x, x));
        h.xGRT = x * (1.0f / h.rObs);
        h.centre = hole;
    }
    SingleRay ray(const Vec4f& dir, uint32_t* out) {
        SingleRay r = makeRay(tree, observer, dir, out);
        r.trace = 0;
        return r;
    }
};

// One escaping node whose point is (x, y) for every angle, below every root.
void installEscapeAt(LightPathTree& table, float x, float y) {
    std::vector<LightPathNode> pool(1);
    pool[0] = {nullptr, &pool[0], x, y};
    std::vector<LightPathNode> roots(4);
    for (auto& r : roots) r.lower = &pool[0];
    table.install(0.0f, float(M_PI), std::move(roots), std::move(pool));
}

// A sphere that writes the ray's Doppler factor into its pixel, as a float.
class DopplerSphere : public TestObject {
public:
    using TestObject::TestObject;
    void shade1(SingleRay& ray, float) const override {
        std::memcpy(ray.out, &ray.doppler, sizeof(float));
    }
};

}  // namespace

// A table of absorbing roots only: every ray is black and counts as a hit.
TEST(LightPathTrace, AnAbsorbingTableTurnsEveryRayBlackAndCountsItAsHit) {
    BentScene s;
    s.scene.sphere(Vec4f(0, 0, 10, 0), 1.0f);
    s.build(Vec4f(0, 0, 0, 0));
    uint32_t pixel = 0;
    for (Vec4f d : {Vec4f(0, 0, 1, 0), Vec4f(1, 0, 0, 0), Vec4f(0.3f, -0.4f, -1, 0)}) {
        SingleRay r = s.ray(d, &pixel);
        pixel = 0;
        EXPECT_TRUE(iterRayPart(r, s.tree));
        EXPECT_EQ(pixel, 0xff000000u);
    }
}

// A path escaping at its first node goes straight towards that point, and the hit is shifted by
// the factor of its own distance from the hole (off the origin, so any other distance shows).
TEST(LightPathTrace, AnEscapingPathHitsThePointAheadShiftedByItsDistanceFromTheHole) {
    BentScene s;
    s.scene.add(std::make_unique<DopplerSphere>(1, P(6, 0, 0), P(6, 0, 0), 0.5f));
    s.build(Vec4f(0, 0, 20, 0));
    BlackHoleFrame& hole = s.tree.blackHole();
    hole.rs = 1.0f;
    // x from the hole towards the observer (-z), y sideways (+x): (20, 6) is the sphere's centre.
    installEscapeAt(hole.paths, 20.0f, 6.0f);
    RenderSettings settings;
    settings.grtDoppler = true;
    uint32_t pixel = 0;
    SingleRay r = s.ray(Vec4f(0.2f, 0, 1, 0), &pixel);
    r.settings = &settings;
    r.doppler = 1.0f;
    const Vec4f origin = r.origin;
    ASSERT_TRUE(iterRayPart(r, s.tree));
    EXPECT_NEAR(r.dir.x, 6.0f / std::sqrt(36.0f + 400.0f), 1e-6);
    EXPECT_EQ(r.origin.z, origin.z);  // the camera's origin is given back
    float shift;
    std::memcpy(&shift, &pixel, sizeof shift);
    // The hit is half a unit before the centre along the ray from (0, 0, -20).
    const double l = std::sqrt(36.0 + 400.0), hx = 6 - 0.5 * 6 / l, hz = -0.5 * 20 / l;
    const double r2 = std::sqrt(hx * hx + (hz - 20) * (hz - 20));
    EXPECT_NEAR(shift, std::sqrt((1 - 1 / 40.0) / (1 - 1 / r2)), 1e-5);
}

// A moving body on an escaping path is shifted by its hit point's distance from the hole as the
// scene's objects are: the same sphere as above, in the moving bodies' own tree (the scene's
// tree holds only a sphere behind the observer).
TEST(LightPathTrace, AMovingBodyOnAnEscapingPathIsShiftedByItsDistanceFromTheHole) {
    BentScene s;
    s.scene.sphere(Vec4f(0, 0, -100, 0), 1.0f);
    s.build(Vec4f(0, 0, 20, 0));
    Scene bodies;
    bodies.add(std::make_unique<DopplerSphere>(1, P(6, 0, 0), P(6, 0, 0), 0.5f));
    KDTree movingTree;
    movingTree.addInterval(bodies.list, 0);
    BlackHoleFrame& hole = s.tree.blackHole();
    hole.rs = 1.0f;
    installEscapeAt(hole.paths, 20.0f, 6.0f);
    RenderSettings settings;
    const double l = std::sqrt(36.0 + 400.0), hx = 6 - 0.5 * 6 / l, hz = -0.5 * 20 / l;
    const double r2 = std::sqrt(hx * hx + (hz - 20) * (hz - 20));
    for (const bool shifted : {false, true}) {
        settings.grtDoppler = shifted;
        uint32_t pixel = 0;
        SingleRay r = s.ray(Vec4f(0.2f, 0, 1, 0), &pixel);
        r.settings = &settings;
        r.doppler = 1.0f;
        ASSERT_TRUE(iterRayPart(r, s.tree, BentMoving{&movingTree, nullptr, 0.0f, 0.0f}))
            << shifted;
        float shift;
        std::memcpy(&shift, &pixel, sizeof shift);
        EXPECT_NEAR(shift, shifted ? std::sqrt((1 - 1 / 40.0) / (1 - 1 / r2)) : 1.0, 1e-5);
    }
}

// Paths stop beyond the sphere through the box corner farthest from the hole (or the photon
// sphere, 1.5 r_s, if larger), widened by 1 %, moving outwards.
TEST(LightPathTrace, PathsStopOnlyBeyondTheScenesSphereMovingOutwards) {
    struct Case {
        Vec4f hole;
        float rs;
        Vec4f at, dir;
        bool beyond;
    };
    const BoundingBox box(Vec4f(0, 0, 0, 0), Vec4f(1, 1, 1, 0));
    const float corner = 1.01f * std::sqrt(3.0f);
    const float offCentre = 1.01f * std::sqrt(102.0f);  // from (10, 0, 0) to (0, 1, 1)
    const Case cases[] = {
        {P(0, 0, 0), 0.1f, P(2, 0, 0), P(1, 0, 0), true},
        {P(0, 0, 0), 0.1f, P(2, 0, 0), P(-1, 0, 0), false},  // moving in
        {P(0, 0, 0), 0.1f, P(0, 0, 0.999f * corner), P(0, 0, 1), false},
        {P(0, 0, 0), 0.1f, P(0, 0, 1.001f * corner), P(0, 0, 1), true},
        {P(0, 0, 0), 2.0f, P(2.9f, 0, 0), P(1, 0, 0), false},  // inside the photon sphere
        {P(0, 0, 0), 2.0f, P(3.1f, 0, 0), P(1, 0, 0), true},
        {P(10, 0, 0), 0.1f, P(10 - 1.001f * offCentre, 0, 0), P(-1, 0, 0), true},
        {P(10, 0, 0), 0.1f, P(10 - 0.999f * offCentre, 0, 0), P(-1, 0, 0), false},
    };
    for (const Case& c : cases) {
        BlackHoleFrame h;
        h.centre = c.hole;
        h.rs = c.rs;
        EXPECT_FALSE(h.beyondScene(c.at, c.dir)) << "no scene bound yet";
        h.boundScene(box);
        EXPECT_EQ(h.beyondScene(c.at, c.dir), c.beyond) << &c - cases;
    }
    BlackHoleFrame endless;  // a scene too large for float never cuts paths
    endless.boundScene(BoundingBox(Vec4f(0, 0, 0, 0), Vec4f(1e30f, 1e30f, 1e30f, 0)));
    EXPECT_FALSE(endless.beyondScene(Vec4f(1e25f, 0, 0, 0), Vec4f(1, 0, 0, 0)));
}

// Four rays walked together see what each sees walked alone, in a scene of small objects around
// a hole seen from nearby, where paths cross empty space and pass objects close by: the walk
// skips the pieces that lie inside the empty leaf cell of the piece before (or, for a first
// piece, of the packet before), so a lane it skips wrongly misses an object its single ray hits.
// Lanes spread over a few degrees part ways often; only ties at an object's very edge may differ
// (single rays widen their leaves by an absolute amount, bundles relatively), one in a thousand at
// most.
TEST(LightPathTrace, FourLanesWalkedTogetherSeeWhatEachSeesAlone) {
    std::mt19937 rng(4242);
    BentScene s;
    randomScene(s.scene, rng, 1500, 40.0f);
    const Vec4f hole(20, 20, 20, 0);
    s.observer = Vec4f(20, 20, -15, 0);
    s.build(hole);
    BlackHoleFrame& h = s.tree.blackHole();
    h.prepare(s.observer, hole, 0.8f);
    h.boundScene(s.tree.sceneBox());
    std::normal_distribution<float> n(0.0f, 1.0f);
    std::uniform_real_distribution<float> spread(0.0f, 0.1f);
    int lanes = 0, hits = 0, differ = 0;
    EmptyCellMemory firstPieces;  // carried from packet to packet, as a band of the picture does
    for (int i = 0; i < 3000; ++i) {
        const Vec4f towards = (hole - s.observer) * (1.0f / 35.0f);
        const Vec4f d0 = towards + Vec4f(0.5f * n(rng), 0.5f * n(rng), 0.2f * n(rng), 0.0f);
        const float w = spread(rng);
        Vec4f origin[4], dir[4];
        for (int l = 0; l < 4; ++l) {
            origin[l] = s.observer;
            dir[l] = d0 + Vec4f(w * float(l & 1), w * float(l >> 1), 0.0f, 0.0f);
        }
        uint32_t pix[4] = {};
        alignas(16) RayBundle4 b;
        makeBundle<RayBundle4, 4>(s.tree, b, origin, dir, pix);
        b.trace = 0;
        const int written = iterRayPart4(b, s.tree, BentMoving(), i % 4 ? &firstPieces : nullptr);
        for (int l = 0; l < 4; ++l) {
            uint32_t one = 0;
            SingleRay r = s.ray(dir[l], &one);
            const bool single = iterRayPart(r, s.tree);
            const bool four = (written >> l) & 1;
            ++lanes;
            hits += single;
            differ += single != four || (single && one != pix[l]);
        }
    }
    EXPECT_GT(hits, lanes / 4);
    EXPECT_LT(hits, lanes - lanes / 4);
    EXPECT_LE(differ, lanes / 1000) << "of " << lanes << " lanes";
}
