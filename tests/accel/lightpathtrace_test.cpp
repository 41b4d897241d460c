// Tracing bent rays through the light-path table: absorbing tables, escaping paths, agreement
// with straight tracing far from the hole, the shadow, and where paths may stop.
#include "accel/lightpathtrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "accel/kdtraverse.h"
#include "accel/lightpathgenerator.h"
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

}  // namespace

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
    uint32_t pixels[2][2] = {};
    RayBundle4 b{};
    b.out[0] = pixels[0];
    b.out[1] = pixels[1];
    for (int l = 0; l < 4; ++l) {
        b.origin[l] = s.observer;
        b.dir[0][l] = 0.1f * l;
        b.dir[2][l] = 1.0f;
    }
    for (int c = 0; c < 4; ++c) b.originSoA[c] = Vec4f(s.observer[c]);
    EXPECT_EQ(iterRayPart4(b, s.tree), 0xf);
    for (auto& row : pixels)
        for (uint32_t p : row) EXPECT_EQ(p, 0xff000000u);
}

TEST(LightPathTrace, APathEscapingAtItsFirstNodeIsTracedStraightTowardsThatPoint) {
    BentScene s;
    auto* target = s.scene.sphere(Vec4f(6, 0, 0, 0), 0.5f);  // off the ray's own direction
    s.build(Vec4f(0, 0, 20, 0));
    // Path plane: x from the hole towards the observer (-z), y along the ray's sideways part
    // (+x for a ray leaning towards +x): the point (20, 6) is centre + 20 xGRT + 6 yGRT = (6, 0,
    // 0).
    installEscapeAt(s.tree.blackHole().paths, 20.0f, 6.0f);
    uint32_t pixel = 0;
    SingleRay r = s.ray(Vec4f(0.2f, 0, 1, 0), &pixel);
    const Vec4f origin = r.origin;
    EXPECT_TRUE(iterRayPart(r, s.tree));
    EXPECT_EQ(pixel, target->id());
    EXPECT_NEAR(r.dir.x, 6.0f / std::sqrt(36.0f + 400.0f), 1e-6);
    EXPECT_EQ(r.origin.z, origin.z);  // the camera's origin is given back
}

// Far from a small hole a generated table bends rays by next to nothing: bent tracing hits
// what straight tracing hits, and a ray aimed at the hole falls in.
TEST(LightPathTrace, FarFromTheHoleRaysHitWhatStraightRaysHit) {
    BentScene s;
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) s.scene.sphere(Vec4f(4.0f * i - 8, 4.0f * j - 8, 10, 0), 1.5f);
    const Vec4f hole(0, 0, 0, 0);
    s.build(hole);
    LightPathGenerator generator;
    generator.generate(s.tree.blackHole().paths, s.tree.blackHole().rObs, 0.002f);
    s.tree.blackHole().rs = 0.002f;

    int compared = 0, agree = 0;
    for (int i = -6; i <= 6; ++i)
        for (int j = -6; j <= 6; ++j) {
            const Vec4f d(0.05f * i + 0.013f, 0.05f * j + 0.007f, 1, 0);
            uint32_t straight = 0, bent = 0;
            SingleRay a = s.ray(d, &straight);
            traceRay(a);
            SingleRay b = s.ray(d, &bent);
            iterRayPart(b, s.tree);
            ++compared;
            if (straight == bent) ++agree;
        }
    EXPECT_GE(agree, compared - 2) << "rays grazing a sphere's edge may differ";

    uint32_t pixel = 0;
    SingleRay atHole = s.ray(Vec4f(0, 0, 1, 0), &pixel);
    EXPECT_TRUE(iterRayPart(atHole, s.tree));
    EXPECT_EQ(pixel, 0xff000000u);
}

// With the gravitational shift on, a hit is shaded once more with the factor for the hit point's
// own distance from the hole. The hole is off the origin, so a distance measured from anywhere
// else shows.
TEST(LightPathTrace, AHitIsShiftedByTheFactorOfItsDistanceFromTheHole) {
    class DopplerSphere : public TestSphere {
    public:
        using TestSphere::TestSphere;
        void shade1(SingleRay& ray, float) const override {
            std::memcpy(ray.out, &ray.doppler, sizeof(float));
        }
    };
    BentScene s;
    s.scene.add(std::make_unique<DopplerSphere>(1, Vec4f(6, 0, 0, 0), 0.5f));
    s.build(Vec4f(0, 0, 20, 0));
    BlackHoleFrame& hole = s.tree.blackHole();
    hole.rs = 1.0f;
    installEscapeAt(hole.paths, 20.0f, 6.0f);  // straight on towards the sphere's centre
    RenderSettings settings;
    settings.grtDoppler = true;
    uint32_t pixel = 0;
    SingleRay r = s.ray(Vec4f(0.2f, 0, 1, 0), &pixel);
    r.settings = &settings;
    r.doppler = 1.0f;
    ASSERT_TRUE(iterRayPart(r, s.tree));
    float shift;
    std::memcpy(&shift, &pixel, sizeof shift);
    // The hit is half a unit before the centre along the ray from (0, 0, -20).
    const double l = std::sqrt(36.0 + 400.0), hx = 6 - 0.5 * 6 / l, hz = -0.5 * 20 / l;
    const double r2 = std::sqrt(hx * hx + (hz - 20) * (hz - 20));
    EXPECT_NEAR(shift, std::sqrt((1 - 1 / 40.0) / (1 - 1 / r2)), 1e-5);
}

TEST(LightPathTrace, PathsStopOnlyBeyondTheScenesSphereMovingOutwards) {
    // Hand-worked spheres: the one through the box corner farthest from the hole, or the photon
    // sphere (1.5 r_s) if that is larger, widened by 1 %.
    struct Case {
        const char* what;
        Vec4f hole;
        float rs;
        Vec4f at, dir;
        bool beyond;
    };
    const BoundingBox box(Vec4f(0, 0, 0, 0), Vec4f(1, 1, 1, 0));
    const float corner = 1.01f * std::sqrt(3.0f);  // from the origin: 1.7494
    // From (10, 0, 0) the farthest corner is (0, 1, 1): 1.01 sqrt(102) = 10.2005.
    const float offCentre = 1.01f * std::sqrt(102.0f);
    const Case cases[] = {
        {"outside, moving out", P(0, 0, 0), 0.1f, P(2, 0, 0), P(1, 0, 0), true},
        {"outside, moving in", P(0, 0, 0), 0.1f, P(2, 0, 0), P(-1, 0, 0), false},
        {"just inside the widened sphere", P(0, 0, 0), 0.1f, P(0, 0, 0.999f * corner), P(0, 0, 1),
         false},
        {"just outside it", P(0, 0, 0), 0.1f, P(0, 0, 1.001f * corner), P(0, 0, 1), true},
        {"photon sphere larger than the scene", P(0, 0, 0), 2.0f, P(2.9f, 0, 0), P(1, 0, 0), false},
        {"beyond the photon sphere", P(0, 0, 0), 2.0f, P(3.1f, 0, 0), P(1, 0, 0), true},
        {"hole beside the scene, far side", P(10, 0, 0), 0.1f, P(10 - 1.001f * offCentre, 0, 0),
         P(-1, 0, 0), true},
        {"hole beside the scene, inside", P(10, 0, 0), 0.1f, P(10 - 0.999f * offCentre, 0, 0),
         P(-1, 0, 0), false},
    };
    for (const Case& c : cases) {
        BlackHoleFrame h;
        h.centre = c.hole;
        h.rs = c.rs;
        EXPECT_FALSE(h.beyondScene(c.at, c.dir)) << c.what << ": no scene bound yet";
        h.boundScene(box);
        EXPECT_EQ(h.beyondScene(c.at, c.dir), c.beyond) << c.what;
    }
    // A scene too large for float never cuts paths.
    BlackHoleFrame endless;
    endless.boundScene(BoundingBox(Vec4f(0, 0, 0, 0), Vec4f(1e30f, 1e30f, 1e30f, 0)));
    EXPECT_FALSE(endless.beyondScene(Vec4f(1e25f, 0, 0, 0), Vec4f(1, 0, 0, 0)));
}
