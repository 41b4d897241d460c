// Cubes: the six faces that a kd-tree build collects close the solid.
#include "scene/rtobjcube.h"

#include <gtest/gtest.h>

#include "scene/rtobjplane.h"
#include "tests/scene/rtobjtesthelpers.h"

using namespace objtest;

namespace {

// Three mutually orthogonal edges of random lengths in a random orientation.
void randomBox(Rng& rng, rtObjCube& cube) {
    const Vec4f a = rng.direction();
    Vec4f b;
    do {
        b = rng.direction();
        b = b - a * dot3(a, b);
    } while (dot3(b, b) < 0.1f);
    b = unitDir(b.x, b.y, b.z);
    const Vec4f c = cross3(a, b);
    cube.pos = rng.point(4.0);
    cube.x = a * float(rng.uni(0.5, 3));
    cube.y = b * float(rng.uni(0.5, 3));
    cube.z = c * float(rng.uni(0.5, 3));
}

}  // namespace

// A ray from inside a rectangular box leaves it through exactly one face, at the distance found
// in double by the slab method in the box's own edge coordinates.
TEST(RtObjCube, FacesCloseTheSolid) {
    Rng rng(8);
    int checked = 0;
    for (int k = 0; k < 30; ++k) {
        rtObjCube cube;
        randomBox(rng, cube);
        std::vector<rtObjBase*> faces;
        cube.collectPrimitives(faces);
        const D3 ex[3] = {d3(cube.x), d3(cube.y), d3(cube.z)};
        for (int i = 0; i < 100; ++i) {
            const double a[3] = {rng.uni(0.05, 0.95), rng.uni(0.05, 0.95), rng.uni(0.05, 0.95)};
            const Vec4f o =
                cube.pos + cube.x * float(a[0]) + cube.y * float(a[1]) + cube.z * float(a[2]);
            const Vec4f d = rng.direction();
            double exits[3];
            for (int e = 0; e < 3; ++e) {
                const double rate = dot(d3(d), ex[e]) / dot(ex[e], ex[e]);
                exits[e] = rate > 0 ? (1 - a[e]) / rate : -a[e] / rate;
            }
            double best = exits[0], second = 1e300;
            for (int e = 1; e < 3; ++e) {
                if (exits[e] < best) {
                    second = best;
                    best = exits[e];
                } else {
                    second = std::min(second, exits[e]);
                }
            }
            if (second - best < 1e-3 * best) continue;  // leaves near an edge
            ++checked;
            int hitCount = 0;
            float nearest = kNoDistance;
            for (rtObjBase* f : faces) {
                SingleRay r = makeRay(o, d);
                float t = kNoDistance;
                f->intersect1(r, t);
                if (t != kNoDistance) {
                    ++hitCount;
                    nearest = std::min(nearest, t);
                }
            }
            EXPECT_EQ(hitCount, 1) << "cube " << k << " ray " << i;
            EXPECT_NEAR(nearest, best, 1e-4 * (1 + best));
        }
    }
    EXPECT_GT(checked, 2500);
}
