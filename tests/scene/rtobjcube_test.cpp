// A cube is one object of the scene, tested as its six faces were when each was an object of its
// own: the same hits, distances, surface coordinates and faces at every packet size, for rays
// aimed at its edges and corners from outside and from inside. Its test skips what cannot be
// met first (the box around it, the far faces); rays along the outline must still find it.
#include "scene/rtobjcube.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/raybundle.h"
#include "geometry/vec16f.h"
#include "scene/texture.h"
#include "tests/scene/rayfixtures.h"

namespace {

using namespace testrays;

// Which rays a texture shades, gathered over calls.
struct LaneTexture : Texture {
    mutable int lanes4 = 0, lanes16 = 0, singles = 0;

    void shade1(SingleRay&, float) const override { ++singles; }
    void shade4(RayBundle4&, LaneMask4 mask, const Vec4f&) const override {
        lanes4 |= movemask(mask);
    }
    void shade16(RayBundle16&, const LaneMask4 mask[4], const Vec4f[4]) const override {
        lanes16 |= combineMasks(mask);
    }
    void resolveColors(ColorCol&) override {}
    void getProperties(Reader::PropertyList&) override {}
    Texture* clone() const override { return new LaneTexture(*this); }
    void copyFrom(const Texture&) override {}
};

// Edge k scaled and turned by up to about 20 degrees towards the others, so that edges meet at
// other angles than right ones; every third cube is a unit cube along the axes.
void randomCube(Rng& rng, int trial, rtObjCube& cube) {
    const Vec4f axes[3] = {Vec4f(1, 0, 0, 0), Vec4f(0, 1, 0, 0), Vec4f(0, 0, 1, 0)};
    Vec4f edge[3];
    for (int k = 0; k < 3; ++k) {
        if (trial % 3 == 0) {
            edge[k] = axes[k];
            continue;
        }
        const Vec4f tilt = rng.direction() * float(rng.uni(0.0, 0.35));
        edge[k] = unitDir(axes[k] + tilt) * float(rng.uni(0.3, 3.0));
    }
    cube.pos = rng.point(20.0);
    cube.x = edge[0];
    cube.y = edge[1];
    cube.z = edge[2];
    cube.sx = float(rng.uni(1.0, 4.0));
    cube.sy = float(rng.uni(1.0, 4.0));
    cube.sz = float(rng.uni(1.0, 4.0));
}

// A point of the cube's surface where faces meet: two or three of its edge coordinates at 0 or 1
// (or a float step beside), the rest at random; one aim in four is anywhere near the cube.
Vec4f aimAt(Rng& rng, const rtObjCube& c) {
    float a[3];
    for (float& v : a) v = float(rng.uni(0.0, 1.0));
    if (rng.uni(0.0, 1.0) < 0.25) {
        for (float& v : a) v = float(rng.uni(-0.5, 1.5));
    } else {
        const int keep = int(rng.uni(0.0, 3.0));
        for (int k = 0; k < 3; ++k) {
            if (k == keep && rng.uni(0.0, 1.0) < 0.5) continue;
            a[k] = rng.uni(0.0, 1.0) < 0.5 ? 0.0f : 1.0f;
            const double step = rng.uni(0.0, 1.0);
            if (step < 0.25) a[k] = std::nextafter(a[k], -1.0f);
            if (step > 0.75) a[k] = std::nextafter(a[k], 2.0f);
        }
    }
    return c.pos + c.x * a[0] + c.y * a[1] + c.z * a[2];
}

// Outside at 2 to 40 edge lengths, or (one cube in four) inside near the middle.
Vec4f observer(Rng& rng, int trial, const rtObjCube& c) {
    const Vec4f middle = c.pos + (c.x + c.y + c.z) * 0.5f;
    if (trial % 4 == 1) return middle + rng.direction() * 0.05f;
    return middle + rng.direction() * float(rng.uni(2.0, 40.0) * 3.0);
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Where the cube's outline has an edge, a ray along it meets two faces at the same point: one
// closes the edge, the other leaves it open, and rounding puts either hit first by an ulp or two.
// The cube, which tests its near faces first, may take the other face's hit there.
bool edgeTie(float got, float ref) { return std::fabs(got - ref) <= 1e-6f * std::fabs(ref); }

// The pair's texture: xy, yz, zx for faces 0-1, 2-3, 4-5.
int pairOf(int face) { return face / 2; }

struct Fixture {
    Rng rng{std::mt19937(20261209)};
    LaneTexture textures[3];

    // Clears the textures' records.
    void clear() {
        for (LaneTexture& t : textures) t.lanes4 = t.lanes16 = t.singles = 0;
    }
    // The trial's cube, built, and its observer.
    Vec4f start(int trial, rtObjCube& cube) {
        build(trial, cube);
        return observer(rng, trial, cube);
    }
    void build(int trial, rtObjCube& cube) {
        randomCube(rng, trial, cube);
        cube.texturexy = &textures[0];
        cube.textureyz = &textures[1];
        cube.texturezx = &textures[2];
        std::vector<rtObjBase*> list;
        cube.collectPrimitives(list);
        ASSERT_EQ(list.size(), 1u);
        ASSERT_EQ(list[0], &cube);
    }
};

// Whether face f alone meets ray i of a fresh bundle at exactly t (for ties between faces).
bool faceMeetsAt(const rtObjCube& cube, int f, const RayBundle16& fresh, int i, float t) {
    RayBundle16 b = fresh;
    LaneMask4 hits[4];
    cube.face(f).hits16(b, hits);
    return (combineMasks(hits) >> i & 1) && sameBits(b.tHit[i / 4][i % 4], t);
}

// Half the cubes with the 16-lane kernels where the processor has them, half with the 4-lane
// ones everywhere.
TEST(RtObjCube, SixteenRaysMeetWhatTheSixFacesMeet) {
    Fixture fx;
    int hitRays = 0, ties = 0;
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        wideKernelsAllowed() = trial % 2 == 0;
        rtObjCube cube;
        const Vec4f origin = fx.start(trial, cube);
        cube.prepareForOrigin(origin);
        Vec4f dirs[16];
        for (Vec4f& d : dirs) d = unitDir(aimAt(fx.rng, cube) - origin);
        alignas(16) RayBundle16 fresh;
        makeBundle16(fresh, origin, dirs);

        // The faces one by one, as separate objects: the nearest wins, the first on a tie.
        alignas(16) RayBundle16 ref = fresh;
        int face[16], refHits = 0;
        for (int f = 0; f < 6; ++f) {
            LaneMask4 hits[4];
            cube.face(f).hits16(ref, hits);
            const int bits = combineMasks(hits);
            for (int i = 0; i < 16; ++i)
                if (bits >> i & 1) face[i] = f;
            refHits |= bits;
        }

        alignas(16) RayBundle16 got = fresh;
        LaneMask4 hits[4];
        const bool any = cube.intersect16(got, hits);
        const int gotHits = combineMasks(hits);
        ASSERT_EQ(gotHits, refHits);
        EXPECT_EQ(any, refHits != 0);
        int onPair[3] = {};
        for (int i = 0; i < 16; ++i) {
            const int g = i / 4, l = i % 4;
            const float t = got.tHit[g][l];
            if (!(gotHits >> i & 1)) {
                ASSERT_TRUE(sameBits(t, ref.tHit[g][l])) << "ray " << i;
                continue;
            }
            ++hitRays;
            // The traversal skips a cube whose hit bounds miss a bundle: its hits lie inside.
            const Vec4f p = origin + dirs[i] * t;
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(cube.hitLo[k] <= p[k] && p[k] <= cube.hitHi[k]) << "ray " << i;
            const int part = int(got.part[g][l]);
            ASSERT_GE(part, 0);
            ASSERT_LT(part, 6);
            onPair[pairOf(part)] |= 1 << i;
            if (part == face[i] && sameBits(t, ref.tHit[g][l])) {
                EXPECT_TRUE(sameBits(got.u[g][l], ref.u[g][l])) << "ray " << i;
                EXPECT_TRUE(sameBits(got.v[g][l], ref.v[g][l])) << "ray " << i;
                continue;
            }
            ++ties;
            EXPECT_TRUE(edgeTie(t, ref.tHit[g][l]))
                << "ray " << i << ": " << t << " for " << ref.tHit[g][l];
            EXPECT_TRUE(faceMeetsAt(cube, part, fresh, i, t)) << "ray " << i;
        }
        fx.clear();
        cube.shade16(got, hits);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(fx.textures[k].lanes16, onPair[k]) << "pair " << k;
    }
    wideKernelsAllowed() = true;
    // Most rays meet the cube; most of those aimed at an edge or corner are not along one.
    EXPECT_GT(hitRays, 400 * 16 / 2);
    EXPECT_LT(ties, hitRays / 10);
}

// Four rays from the observer (intersect4), and four from points of their own about the cube, as
// the pieces of bent light paths start (intersect4Alt).
TEST(RtObjCube, FourRaysMeetWhatTheSixFacesMeet) {
    Fixture fx;
    int hitRays = 0;
    for (int trial = 0; trial < 600; ++trial) {
        SCOPED_TRACE(trial);
        rtObjCube cube;
        const Vec4f eye = fx.start(trial, cube);
        cube.prepareForOrigin(eye);
        const bool ownOrigins = trial % 2 == 1;
        Vec4f origins[4], dirs[4];
        for (int l = 0; l < 4; ++l) {
            origins[l] = ownOrigins ? observer(fx.rng, trial + l, cube) : eye;
            dirs[l] = unitDir(aimAt(fx.rng, cube) - origins[l]);
        }
        alignas(16) RayBundle4 fresh;
        makeBundle4(fresh, origins, dirs);
        alignas(16) RayBundle4 ref = fresh;
        int face[4] = {}, refHits = 0;
        for (int f = 0; f < 6; ++f) {
            const int bits =
                movemask(ownOrigins ? cube.face(f).hits4Alt(ref) : cube.face(f).hits4(ref));
            for (int l = 0; l < 4; ++l)
                if (bits >> l & 1) face[l] = f;
            refHits |= bits;
        }
        alignas(16) RayBundle4 got = fresh;
        const LaneMask4 hits = ownOrigins ? cube.intersect4Alt(got) : cube.intersect4(got);
        ASSERT_EQ(movemask(hits), refHits);
        int onPair[3] = {};
        for (int l = 0; l < 4; ++l) {
            const float t = got.tHit[l];
            if (!(refHits >> l & 1)) {
                ASSERT_TRUE(sameBits(t, ref.tHit[l])) << "ray " << l;
                continue;
            }
            ++hitRays;
            const int part = int(got.part[l]);
            onPair[pairOf(part)] |= 1 << l;
            if (part == face[l] && sameBits(t, ref.tHit[l])) {
                EXPECT_TRUE(sameBits(got.u[l], ref.u[l])) << "ray " << l;
                EXPECT_TRUE(sameBits(got.v[l], ref.v[l])) << "ray " << l;
                continue;
            }
            EXPECT_TRUE(edgeTie(t, ref.tHit[l]))
                << "ray " << l << ": " << t << " for " << ref.tHit[l];
        }
        fx.clear();
        cube.shade4(got, hits);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(fx.textures[k].lanes4, onPair[k]) << "pair " << k;
    }
    EXPECT_GT(hitRays, 600 * 4 / 2);
}

// A single ray takes the nearest face's hit and its shading goes to that face's texture.
TEST(RtObjCube, SingleRaysMeetWhatTheSixFacesMeet) {
    Fixture fx;
    int hitRays = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        SCOPED_TRACE(trial);
        rtObjCube cube;
        const Vec4f origin = fx.start(trial, cube);
        const SingleRay fresh = makeRay(origin, unitDir(aimAt(fx.rng, cube) - origin));
        float refT = kNoDistance, refU = 0, refV = 0;
        int refFace = -1;
        for (int f = 0; f < 6; ++f) {
            float t, u, v;
            if (cube.face(f).hitSingle(fresh, t, u, v) && t < refT) {
                refT = t;
                refU = u;
                refV = v;
                refFace = f;
            }
        }
        SingleRay got = fresh;
        float t = kNoDistance;
        cube.intersect1(got, t);
        EXPECT_EQ(cube.occluded1(fresh), refFace >= 0);
        if (refFace < 0) {
            ASSERT_EQ(t, kNoDistance);
            continue;
        }
        ++hitRays;
        // The faces that alone give the cube's distance and coordinates (at a corner, u = v = 0
        // on three faces): the shading goes to one of them.
        int pairs = 0;
        for (int f = 0; f < 6; ++f) {
            float tf, u, v;
            if (cube.face(f).hitSingle(fresh, tf, u, v) && sameBits(tf, t) && sameBits(u, got.u) &&
                sameBits(v, got.v))
                pairs |= 1 << pairOf(f);
        }
        ASSERT_NE(pairs, 0);
        // The hit moves the ray off the surface along the normal of one of those faces, by
        // hitOffsetScale: across the edges that span it, either way.
        const Vec4f* edges[3] = {&cube.x, &cube.y, &cube.z};
        bool alongNormal = false;
        for (int k = 0; k < 3; ++k) {
            if (!(pairs >> k & 1)) continue;
            const Vec4f& a = *edges[k];
            const Vec4f& b = *edges[(k + 1) % 3];
            const double n[3] = {double(a.y) * b.z - double(a.z) * b.y,
                                 double(a.z) * b.x - double(a.x) * b.z,
                                 double(a.x) * b.y - double(a.y) * b.x};
            const double h[3] = {got.hitOffset.x, got.hitOffset.y, got.hitOffset.z};
            const double nn = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            const double hh = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
            const double cosine = (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / (nn * hh);
            alongNormal |= std::fabs(hh / hitOffsetScale - 1.0) < 1e-5 &&
                           std::fabs(std::fabs(cosine) - 1.0) < 1e-5;
        }
        EXPECT_TRUE(alongNormal) << got.hitOffset.x << " " << got.hitOffset.y << " "
                                 << got.hitOffset.z;
        if (!(sameBits(t, refT) && sameBits(got.u, refU) && sameBits(got.v, refV))) {
            EXPECT_TRUE(edgeTie(t, refT)) << t << " for " << refT;
        }
        fx.clear();
        cube.shade1(got, t);
        int shaded = 0;
        for (int k = 0; k < 3; ++k) shaded |= fx.textures[k].singles << k;
        EXPECT_TRUE(shaded == 1 || shaded == 2 || shaded == 4) << shaded;
        EXPECT_NE(shaded & pairs, 0) << shaded << " for " << pairs;
    }
    EXPECT_GT(hitRays, 3000 / 2);
}

}  // namespace

// The box that places a cube in the tree is its eight corners' box, and its hit bounds hold them
// too. The three faces that meet at its corner pos reach only corners of two edges: a tilted
// cube's far corner lies outside their box.
TEST(RtObjCube, ItsBoxesHoldEveryCorner) {
    Fixture fx;
    for (int trial = 0; trial < 300; ++trial) {
        SCOPED_TRACE(trial);
        rtObjCube cube;
        fx.build(trial, cube);
        const BoundingBox box = cube.boundingBox(), hit = cube.hitBounds();
        for (int a = 0; a < 3; ++a) {
            double lo = 1e30, hi = -1e30;
            for (int corner = 0; corner < 8; ++corner) {
                const double c = double(cube.pos[a]) + ((corner & 1) ? cube.x[a] : 0.0) +
                                 ((corner & 2) ? cube.y[a] : 0.0) +
                                 ((corner & 4) ? cube.z[a] : 0.0);
                lo = std::min(lo, c);
                hi = std::max(hi, c);
            }
            const double rounding = 1e-5 * (1.0 + std::fabs(lo) + std::fabs(hi));
            EXPECT_NEAR(box.min[a], lo, rounding);
            EXPECT_NEAR(box.max[a], hi, rounding);
            EXPECT_LE(hit.min[a], lo);
            EXPECT_GE(hit.max[a], hi);
        }
    }
}
